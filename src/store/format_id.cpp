#include "store/format_id.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string_view>

#include "store/lines.h"
#include "store/rewrite.h"

namespace {

constexpr std::string_view kKeyMark = "VtL";
constexpr size_t kNameLengthAt = 13;
constexpr size_t kNameAt = 26;
constexpr unsigned kLongestStoredName = 99;

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Whether the key that starts at mark in line is followed by label_name.
bool names_label(std::string_view line, size_t mark, const std::string& label_name) {
  if (line.size() < mark + kNameLengthAt + 2) return false;
  const int high = hex_digit(line[mark + kNameLengthAt]);
  const int low = hex_digit(line[mark + kNameLengthAt + 1]);
  if (high < 0 || low < 0) return false;
  const unsigned length = static_cast<unsigned>(high * 16 + low);
  if (length > kLongestStoredName || line.size() < mark + kNameAt + length) return false;
  return line.substr(mark + kNameAt, length) == label_name;
}

// Checks each line's first key mark, before the line's first zero byte.
bool find_in_lines(std::string_view lines, const std::string& label_name, std::string& out_key) {
  size_t done = 0;
  while (done < lines.size()) {
    const size_t mark = lines.find(kKeyMark, done);
    if (mark == std::string_view::npos) return false;
    const std::string_view whole_line = line_around(lines, mark);
    const size_t start = static_cast<size_t>(whole_line.data() - lines.data());
    const std::string_view line = searchable_part(whole_line);
    if (line.size() >= mark - start + kKeyMark.size() &&
        names_label(line, mark - start, label_name)) {
      out_key = std::string(line.substr(mark - start, kFormatIdLength));
      return true;
    }
    done = start + whole_line.size();
  }
  return false;
}

// The low digits hexadecimal digits of value, upper case, zero-padded: the key's fields
// keep their positions whatever the value.
std::string hex_field(uint64_t value, int digits) {
  std::string field(static_cast<size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4)
    field[static_cast<size_t>(i)] = "0123456789ABCDEF"[value & 0xF];
  return field;
}

}  // namespace

std::string compose_format_id(const FormatRequest& request, ClockReading now) {
  const std::string media = request.tape_media.empty() ? kNoMediaFiller : request.tape_media;
  return std::string(kKeyMark) + media + hex_field(request.label_name.size(), 2) +
         hex_field(static_cast<uint64_t>(request.width_mm), 2) +
         hex_field(static_cast<uint64_t>(request.length_mm), 3) +
         hex_field(static_cast<uint64_t>(now.seconds), 1) +
         hex_field(static_cast<uint64_t>(now.microseconds), 4);
}

int find_format_id(const std::string& path, const std::string& label_name, std::string& out_key) {
  const int fd = open_data_file(path);
  if (fd < 0) return errno == ENOENT ? 0 : -1;
  LineReader reader = make_line_reader(fd);
  std::string_view lines;
  int got = 0;
  bool found = false;
  while (!found && (got = next_lines(reader, lines)) == 1) {
    found = find_in_lines(lines, label_name, out_key);
  }
  const int saved = errno;
  ::close(fd);
  errno = saved;
  if (got < 0) return -1;
  return found ? 1 : 0;
}
