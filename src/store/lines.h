// Reads a data file as whole lines, in large blocks, whatever the lengths of its lines.
#ifndef VTPAPERTOOL_STORE_LINES_H_
#define VTPAPERTOOL_STORE_LINES_H_

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "store/fault.h"

struct FreeBytes {
  void operator()(char* bytes) const { std::free(bytes); }
};

// Buffered input from one open file. The buffer holds at least the longest line met so
// far and never the whole file. The caller owns and closes fd.
struct LineReader {
  int fd = -1;
  std::string subject;  // the file's path, for fault reports
  size_t block_size = 0;
  std::unique_ptr<char, FreeBytes> block;
  size_t capacity = 0;
  size_t begin = 0;    // first byte not yet handed out
  size_t end = 0;      // one past the last byte read
  size_t scanned = 0;  // bytes from begin known to hold no line feed
  bool at_end = false;
};

// A reader that reads block_size bytes at a time, and more only for a longer line.
LineReader make_line_reader(int fd, const std::string& path, size_t block_size);

// Hands out the next run of whole lines: every byte read, line feeds included; the last
// line of the file may lack its line feed. Sets lines empty at the end of the file, which
// a read error never passes for. Lines stay valid until the next call.
Fault next_lines(LineReader& reader, std::string_view& lines);

// Where needle first stands in text at or after from; npos when nowhere or when empty.
size_t find_text(std::string_view text, std::string_view needle, size_t from);

// The whole line of lines that holds offset at, its line feed included.
std::string_view line_around(std::string_view lines, size_t at);

// The line as the substring tests see it: up to its first zero byte.
std::string_view searchable_part(std::string_view line);

#endif  // VTPAPERTOOL_STORE_LINES_H_
