#include "front/catalogue.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "front/scan.h"

namespace {

bool read_whole(const std::string& path, std::string& text, std::string& why) {
  const bool is_input = path == "-";
  const int fd = is_input ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  char block[65536];
  ssize_t got = fd < 0 ? -1 : 0;
  while (fd >= 0 && ((got = ::read(fd, block, sizeof block)) > 0 || (got < 0 && errno == EINTR))) {
    if (got > 0) text.append(block, static_cast<size_t>(got));
  }
  if (got < 0) why = std::strerror(errno);
  if (fd >= 0 && !is_input) ::close(fd);
  return got == 0;
}

bool is_blank(const std::string& line) {
  return line.find_first_not_of(" \t") == std::string::npos;
}

// Why the line's fields are no format, or "" with format scanned from them.
std::string line_refusal(const std::string& line, FormatRequest& format) {
  const size_t first = line.find('\t');
  const size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
  if (second == std::string::npos) return "not <name><TAB><width><TAB><length>";
  const size_t third = std::min(line.find('\t', second + 1), line.size());
  return format_refusal(line.substr(0, first), line.substr(first + 1, second - first - 1),
                        line.substr(second + 1, third - second - 1), format);
}

}  // namespace

bool read_catalogue_file(const FormatRequest& request, std::vector<FormatRequest>& formats,
                         std::string& refusal) {
  const std::string& path = request.catalogue_path;
  const std::string shown = path == "-" ? "standard input" : path;
  std::string text;
  std::string why;
  if (!read_whole(path, text, why)) {
    refusal = shown + ": " + why;
    return false;
  }
  std::unordered_map<std::string, size_t> first_line;
  size_t number = 0;
  for (size_t start = 0; start < text.size(); ++number) {
    const size_t end = std::min(text.find('\n', start), text.size());
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (is_blank(line)) continue;
    FormatRequest format = request;
    std::string reason = line_refusal(line, format);
    const auto [seen, added] = first_line.emplace(format.label_name, number + 1);
    if (reason.empty() && !added) {
      reason = "'" + format.label_name + "' is named again; first on line " +
               std::to_string(seen->second);
    }
    if (!reason.empty()) {
      refusal = shown + ":" + std::to_string(number + 1) + ": " + reason;
      return false;
    }
    formats.push_back(format);
  }
  return true;
}
