#include "store/lines.h"

#include <cerrno>
#include <cstring>

#include "store/open_file.h"
#include "store/seam.h"
#include "store/sys_io.h"

namespace {

// Moves the unread bytes to the front and, when they fill the block, doubles it.
// realloc moves large blocks by remapping pages, so a long line is never held twice.
bool make_room(LineReader& reader) {
  const size_t pending = reader.end - reader.begin;
  if (reader.begin > 0 && pending > 0) {
    std::memmove(reader.block.get(), reader.block.get() + reader.begin, pending);
  }
  reader.begin = 0;
  reader.end = pending;
  if (pending < reader.capacity) return true;
  const size_t capacity = reader.capacity == 0 ? reader.block_size : reader.capacity * 2;
  char* grown = static_cast<char*>(std::realloc(reader.block.get(), capacity));
  if (grown == nullptr) {
    reader.fault = {ENOMEM, reader.subject, ""};
    return false;
  }
  reader.block.release();
  reader.block.reset(grown);
  reader.capacity = capacity;
  return true;
}

// Reads more bytes after those buffered. Returns false with reader.fault set on failure.
bool fill(LineReader& reader) {
  if (!make_room(reader)) return false;
  const ssize_t got = io_read(reader.fd, reader.block.get() + reader.end,
                              reader.capacity - reader.end, reader.subject);
  if (got < 0) {
    reader.fault = fault_from_errno(reader.subject);
    return false;
  }
  if (got == 0) reader.at_end = true;
  reader.end += static_cast<size_t>(got);
  return true;
}

// Offset just past the last line feed among the buffered bytes, or 0 when there is none.
size_t end_of_whole_lines(LineReader& reader) {
  const char* data = reader.block.get();
  const size_t from = reader.begin + reader.scanned;
  const void* last = memrchr(data + from, '\n', reader.end - from);
  reader.scanned = reader.end - reader.begin;
  if (last == nullptr) return 0;
  return static_cast<size_t>(static_cast<const char*>(last) - data) + 1;
}

std::string_view hand_out(LineReader& reader, size_t until) {
  std::string_view lines(reader.block.get() + reader.begin, until - reader.begin);
  reader.begin = until;
  reader.scanned = 0;
  return lines;
}

}  // namespace

LineReader make_line_reader(int fd, const std::string& path, size_t block_size) {
  LineReader reader;
  reader.fd = fd;
  reader.subject = path;
  reader.block_size = block_size;
  return reader;
}

bool next_lines(LineReader& reader, std::string_view& lines) {
  for (;;) {
    if (reader.begin < reader.end) {
      const size_t until = end_of_whole_lines(reader);
      if (until != 0 || reader.at_end) {
        lines = hand_out(reader, until != 0 ? until : reader.end);
        return true;
      }
    } else if (reader.at_end) {
      return false;
    }
    if (!fill(reader)) return false;
  }
}

std::string_view searchable_part(std::string_view line) {
  const void* zero = std::memchr(line.data(), '\0', line.size());
  if (zero == nullptr) return line;
  return line.substr(0, static_cast<size_t>(static_cast<const char*>(zero) - line.data()));
}

std::string_view line_around(std::string_view lines, size_t at) {
  const size_t feed_before = at == 0 ? std::string_view::npos : lines.rfind('\n', at - 1);
  const size_t start = feed_before == std::string_view::npos ? 0 : feed_before + 1;
  const size_t feed_after = lines.find('\n', at);
  const size_t end = feed_after == std::string_view::npos ? lines.size() : feed_after + 1;
  return lines.substr(start, end - start);
}

Fault file_holds_text(const std::string& path, const std::string& text, bool& held) {
  held = false;
  Descriptor file;
  const Fault opened = open_data_file(path, file);
  if (opened.error == ENOENT) return {};
  if (failed(opened)) return opened;
  LineReader reader = make_line_reader(file.fd, path, line_block_size());
  for (std::string_view lines; !held && next_lines(reader, lines);) {
    for (size_t at = lines.find(text); !held && at != std::string_view::npos;
         at = lines.find(text, at + 1)) {
      const std::string_view line = line_around(lines, at);
      held = searchable_part(line).size() >=
             at - static_cast<size_t>(line.data() - lines.data()) + text.size();
    }
  }
  return reader.fault;
}
