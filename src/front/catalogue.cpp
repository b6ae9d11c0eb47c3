#include "front/catalogue.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <unordered_map>

#include "front/scan.h"

namespace {

constexpr size_t kBlock = 65536;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

struct CatalogueReading {
  std::string shown;  // the file as messages name it
  bool names_only = false;
  size_t line = 0;                                     // the number of the line at hand
  std::unordered_map<std::string, size_t> first_line;  // by name
};

bool is_skipped(const std::string& line) {
  const size_t first = line.find_first_not_of(" \t");
  return first == std::string::npos || line[first] == '#';
}

Fault at_line(const CatalogueReading& reading, const std::string& why) {
  return {0, reading.shown + ":" + std::to_string(reading.line), why};
}

// Why the line's fields are no format, or none with format scanned from them.
Fault line_refusal(const std::string& line, bool names_only, FormatRequest& format) {
  const size_t first = line.find('\t');
  if (names_only) {
    const Fault refusal = name_refusal(line.substr(0, first), format);
    if (!failed(refusal)) return {};
    return {0, "", "format '" + line.substr(0, first) + "': " + described(refusal)};
  }
  const size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
  if (second == std::string::npos) return {0, "", "not <name><TAB><width><TAB><length>"};
  const size_t third = std::min(line.find('\t', second + 1), line.size());
  const Fault refusal =
      format_refusal(line.substr(0, first), line.substr(first + 1, second - first - 1),
                     line.substr(second + 1, third - second - 1), format);
  if (!failed(refusal)) return {};
  return {0, "", "format '" + line.substr(0, first) + "': " + described(refusal)};
}

// The line as its fields are read: without a carriage return before its line feed, and,
// the first one, without a byte order mark, which editors on other systems put first.
std::string without_line_marks(std::string line, size_t number) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (number == 1 && line.rfind(kByteOrderMark, 0) == 0) line.erase(0, 3);
  return line;
}

Fault take_line(std::string line, const FormatRequest& request, CatalogueReading& reading,
                std::vector<FormatRequest>& formats) {
  ++reading.line;
  line = without_line_marks(line, reading.line);
  if (is_skipped(line)) return {};
  if (formats.size() == kMostCatalogueFormats) {
    return at_line(reading, "more than " + std::to_string(kMostCatalogueFormats) + " formats");
  }
  FormatRequest format = request;
  const Fault refusal = line_refusal(line, reading.names_only, format);
  if (failed(refusal)) return at_line(reading, refusal.why);
  const auto [seen, added] = reading.first_line.emplace(format.label_name, reading.line);
  if (!added) {
    return at_line(reading, "format '" + format.label_name + "': named again; first on line " +
                                std::to_string(seen->second));
  }
  formats.push_back(format);
  return {};
}

// A format line with no line feed after it is where a catalogue cut short by a failed copy or
// a full disk ends: applying it could make a format of the wrong size, or prune the rest.
Fault last_line_refusal(const std::string& line, CatalogueReading& reading) {
  if (is_skipped(without_line_marks(line, reading.line + 1))) return {};
  ++reading.line;
  return at_line(reading, "no line feed at its end; the catalogue may be cut short");
}

// Lines are taken as they arrive, so that a refused one ends the read at once.
Fault read_lines(int fd, const FormatRequest& request, CatalogueReading& reading,
                 std::vector<FormatRequest>& formats) {
  std::string pending;
  char block[kBlock];
  for (;;) {
    const ssize_t got = ::read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fault_from_errno(reading.shown);
    if (got == 0) break;
    pending.append(block, static_cast<size_t>(got));
    size_t start = 0;
    for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
      if (end - start > kLongestCatalogueLine) break;
      const Fault fault = take_line(pending.substr(start, end - start), request, reading, formats);
      if (failed(fault)) return fault;
    }
    pending.erase(0, start);
    if (pending.size() > kLongestCatalogueLine) {
      ++reading.line;
      return at_line(reading, "longer than " + std::to_string(kLongestCatalogueLine) + " bytes");
    }
  }
  return last_line_refusal(pending, reading);
}

}  // namespace

Fault read_catalogue_file(const FormatRequest& request, bool names_only,
                          std::vector<FormatRequest>& formats) {
  const std::string& path = request.catalogue_path;
  CatalogueReading reading{path == "-" ? "standard input" : path, names_only, 0, {}};
  const bool is_input = path == "-";
  const int fd = is_input ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fault_from_errno(reading.shown);
  const Fault fault = read_lines(fd, request, reading, formats);
  if (!is_input) ::close(fd);
  return fault;
}
