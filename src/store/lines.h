// Reads a data file as whole lines, in large blocks, whatever the lengths of its lines.
#ifndef VTPAPERTOOL_STORE_LINES_H_
#define VTPAPERTOOL_STORE_LINES_H_

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

struct FreeBytes {
  void operator()(char* bytes) const { std::free(bytes); }
};

// Buffered input from one open file. The buffer holds at least the longest line met so
// far and never the whole file. The caller owns and closes fd.
struct LineReader {
  int fd = -1;
  std::string subject;  // the file's path, for fault reports
  std::unique_ptr<char, FreeBytes> block;
  size_t capacity = 0;
  size_t begin = 0;    // first byte not yet handed out
  size_t end = 0;      // one past the last byte read
  size_t scanned = 0;  // bytes from begin known to hold no line feed
  bool at_end = false;
};

LineReader make_line_reader(int fd, const std::string& path);

// Hands out the next run of whole lines: every byte read, line feeds included; the last
// line of the file may lack its line feed. Returns 1 with lines set, 0 at the end of the
// file, or -1 with errno set when a read fails. Lines stay valid until the next call.
int next_lines(LineReader& reader, std::string_view& lines);

// The whole line of lines that holds offset at, its line feed included.
std::string_view line_around(std::string_view lines, size_t at);

// The line as the substring tests see it: up to its first zero byte.
std::string_view searchable_part(std::string_view line);

#endif  // VTPAPERTOOL_STORE_LINES_H_
