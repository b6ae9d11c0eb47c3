// Arbitrary file bytes and line rules through the data store, checked against a plain
// line-by-line reference: the store works on blocks of many lines at once, and a line
// that straddles a block or holds a zero byte must fare as if it were read alone.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "store/format_id.h"
#include "store/rewrite.h"

namespace {

constexpr size_t kBlock = 1 << 20;  // the store's read block

void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "data store fuzz: %s\n", what);
  std::abort();
}

std::string work_directory() {
  static std::string dir;
  if (!dir.empty()) return dir;
  const char* tmpdir = std::getenv("TMPDIR");
  std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : tmpdir ? tmpdir : "/tmp";
  std::string pattern = base + "/vtpapertool-fuzz.XXXXXX";
  require(::mkdtemp(pattern.data()) != nullptr, "temporary directory");
  dir = pattern;
  std::atexit([] {
    ::unlink((dir + "/data").c_str());
    ::rmdir(dir.c_str());
  });
  return dir;
}

void write_bytes(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  require(file != nullptr, "write the data file");
  require(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(), "write all bytes");
  require(std::fclose(file) == 0, "close the data file");
}

std::string read_bytes(const std::string& path) {
  std::string bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  require(file != nullptr, "read the data file");
  char block[65536];
  for (size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) bytes.append(block, got);
  std::fclose(file);
  return bytes;
}

std::vector<std::string> lines_of(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t feed = bytes.find('\n', start);
    const size_t end = feed == std::string::npos ? bytes.size() : feed + 1;
    lines.push_back(bytes.substr(start, end - start));
    start = end;
  }
  return lines;
}

std::string searchable(const std::string& line) { return line.substr(0, line.find('\0')); }

bool matches(const std::string& line, const std::string& text) {
  return !text.empty() && searchable(line).find(text) != std::string::npos;
}

std::string expected_rewrite(const std::string& bytes, const LineRule& rule,
                             const std::string& trailer) {
  std::string out;
  const auto own_line = [&out](const std::string& line) {
    if (!out.empty() && out.back() != '\n') out += '\n';
    out += line;
  };
  for (const std::string& line : lines_of(bytes)) {
    if (rule.kind == RuleKind::kCopy || !matches(line, rule.match_text)) {
      out += line;
    } else if (rule.kind == RuleKind::kReplaceMatching) {
      out += rule.output;
    } else if (rule.kind == RuleKind::kInsertAfterMatching) {
      out += line;
      own_line(rule.output);
    }
  }
  if (!trailer.empty()) own_line(trailer);
  return out;
}

int hex_value(char c) {
  const std::string digits = "0123456789ABCDEF";
  const std::string lower = "0123456789abcdef";
  if (digits.find(c) != std::string::npos) return static_cast<int>(digits.find(c));
  if (lower.find(c) != std::string::npos) return static_cast<int>(lower.find(c));
  return -1;
}

// The first line whose first "VtL", before the line's first zero byte, starts a key
// followed by the name whose length the key gives in two hexadecimal digits.
int expected_find(const std::string& bytes, const std::string& name, std::string& key) {
  for (const std::string& line : lines_of(bytes)) {
    const size_t mark = line.find("VtL");
    const std::string text = searchable(line);
    if (mark == std::string::npos || text.size() < mark + 15) continue;
    const int high = hex_value(text[mark + 13]);
    const int low = hex_value(text[mark + 14]);
    if (high < 0 || low < 0) continue;
    const size_t length = static_cast<size_t>(high * 16 + low);
    if (length > 99 || text.size() < mark + 26 + length) continue;
    if (text.compare(mark + 26, length, name) != 0) continue;
    key = text.substr(mark, 25);
    return 1;
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const uint8_t choice = input.ConsumeIntegral<uint8_t>();
  LineRule rule;
  rule.kind = static_cast<RuleKind>(choice & 3);
  rule.match_text = input.ConsumeRandomLengthString(64);
  rule.output = input.ConsumeRandomLengthString(64);
  const std::string trailer = input.ConsumeRandomLengthString(64);
  const std::string label_name = input.ConsumeRandomLengthString(40);
  std::string bytes = input.ConsumeRemainingBytesAsString();
  // Now and then one long line first, so that the input's lines straddle the first block.
  if ((choice & 0x1C) == 0x1C) bytes = std::string(kBlock - 1 - (choice >> 5), 'p') + "\n" + bytes;

  const std::string path = work_directory() + "/data";
  write_bytes(path, bytes);
  std::string key;
  std::string wanted_key;
  const int found = find_format_id(path, label_name, key);
  require(found == expected_find(bytes, label_name, wanted_key), "find_format_id finds");
  require(found != 1 || key == wanted_key, "find_format_id key");

  require(rewrite_data_file(path, rule, trailer) == 0, "rewrite succeeds");
  require(read_bytes(path) == expected_rewrite(bytes, rule, trailer), "rewritten contents");
  struct stat info {};
  require(::lstat((path + ".$$$").c_str(), &info) != 0, "no temporary file left");
  return 0;
}
