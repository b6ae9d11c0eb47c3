#include "store/lines.h"

#include <cerrno>
#include <cstring>

#include "store/seam.h"
#include "store/sys_io.h"

namespace {

// Moves the unread bytes to the front and, when they fill the block, doubles it.
// realloc moves large blocks by remapping pages, so a long line is never held twice.
Fault make_room(LineReader& reader) {
  const size_t pending = reader.end - reader.begin;
  if (reader.begin > 0 && pending > 0) {
    std::memmove(reader.block.get(), reader.block.get() + reader.begin, pending);
  }
  reader.begin = 0;
  reader.end = pending;
  if (pending < reader.capacity) return {};
  const size_t capacity = reader.capacity == 0 ? reader.block_size : reader.capacity * 2;
  char* grown = static_cast<char*>(std::realloc(reader.block.get(), capacity));
  if (grown == nullptr) return {ENOMEM, reader.subject, ""};
  reader.block.release();
  reader.block.reset(grown);
  reader.capacity = capacity;
  return {};
}

// Reads more bytes after those buffered.
Fault fill(LineReader& reader) {
  const Fault fault = make_room(reader);
  if (failed(fault)) return fault;
  const ssize_t got = io_read(reader.fd, reader.block.get() + reader.end,
                              reader.capacity - reader.end, reader.subject);
  if (got < 0) return fault_from_errno(reader.subject);
  if (got == 0) reader.at_end = true;
  reader.end += static_cast<size_t>(got);
  return {};
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

// Roughly how often a byte stands in a data file's text: letters, digits, blanks and line
// ends often; other printable bytes seldom; control bytes hardly ever.
int commonness(unsigned char c) {
  const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  if (word || c == ' ' || c == '\t' || c == '\n') return 2;
  return c >= 0x20 && c < 0x7F ? 1 : 0;
}

size_t rarest_byte(std::string_view needle) {
  size_t rarest = 0;
  for (size_t i = 1; i < needle.size(); ++i) {
    if (commonness(static_cast<unsigned char>(needle[i])) <
        commonness(static_cast<unsigned char>(needle[rarest]))) {
      rarest = i;
    }
  }
  return rarest;
}

constexpr size_t kChunk = 64;

bool holds_at(std::string_view text, size_t at, std::string_view needle) {
  return std::memcmp(text.data() + at, needle.data(), needle.size()) == 0;
}

// For needles of common bytes, which would stop memchr every few bytes: each chunk is
// tested for the needle's first and last byte at their distance in a loop without
// branches, which the compiler turns into vector compares, and only a chunk with such a
// pair is searched byte by byte.
size_t find_by_chunks(std::string_view text, std::string_view needle, size_t from) {
  const size_t last = needle.size() - 1;
  const char first_byte = needle[0];
  const char last_byte = needle[last];
  size_t at = from;
  for (; at + last + kChunk <= text.size(); at += kChunk) {
    const char* chunk = text.data() + at;
    unsigned char pairs = 0;
    for (size_t i = 0; i < kChunk; ++i) {
      pairs |=
          static_cast<unsigned char>((chunk[i] == first_byte) & (chunk[i + last] == last_byte));
    }
    for (size_t i = 0; pairs != 0 && i < kChunk; ++i) {
      if (chunk[i] == first_byte && holds_at(text, at + i, needle)) return at + i;
    }
  }
  for (; at + needle.size() <= text.size(); ++at) {
    if (holds_at(text, at, needle)) return at;
  }
  return std::string_view::npos;
}

}  // namespace

// memchr passes over the bytes between two of the needle's rarest byte faster than any
// general search, and the keys and headers that rules match carry punctuation that a data
// file's text seldom holds. A needle of letters and digits only, such as the key mark, or
// a byte that turns out common here, goes to the chunks instead.
size_t find_text(std::string_view text, std::string_view needle, size_t from) {
  if (from >= text.size() || needle.empty() || needle.size() > text.size() - from) {
    return std::string_view::npos;
  }
  const size_t pivot = rarest_byte(needle);
  if (needle.size() > 1 && commonness(static_cast<unsigned char>(needle[pivot])) == 2) {
    return find_by_chunks(text, needle, from);
  }
  size_t misses = 0;
  for (size_t at = from + pivot; at < text.size();) {
    const void* hit = std::memchr(text.data() + at, needle[pivot], text.size() - at);
    if (hit == nullptr) return std::string_view::npos;
    const size_t start = static_cast<size_t>(static_cast<const char*>(hit) - text.data()) - pivot;
    if (start + needle.size() <= text.size() && holds_at(text, start, needle)) return start;
    if (++misses > 64 + (start - from) / 256) return find_by_chunks(text, needle, start + 1);
    at = start + pivot + 1;
  }
  return std::string_view::npos;
}

LineReader make_line_reader(int fd, const std::string& path, size_t block_size) {
  LineReader reader;
  reader.fd = fd;
  reader.subject = path;
  reader.block_size = block_size;
  return reader;
}

Fault next_lines(LineReader& reader, std::string_view& lines) {
  lines = {};
  for (;;) {
    if (reader.begin < reader.end) {
      const size_t until = end_of_whole_lines(reader);
      if (until != 0 || reader.at_end) {
        lines = hand_out(reader, until != 0 ? until : reader.end);
        return {};
      }
    } else if (reader.at_end) {
      return {};
    }
    const Fault fault = fill(reader);
    if (failed(fault)) return fault;
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
