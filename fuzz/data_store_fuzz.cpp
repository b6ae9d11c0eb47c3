// Arbitrary file bytes and line rules through the data store, against a plain line-by-line
// reference: the store works on blocks of many lines, and a line that holds a zero byte or
// lacks its line feed must fare as if it were read alone.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "store/format_id.h"
#include "store/rewrite.h"

namespace {

std::string expected(const std::string& bytes, const LineRule& rule, const std::string& trailer,
                     const std::string& name, std::string& key) {
  std::string out;
  const auto own_line = [&out](const std::string& line) {
    out += (out.empty() || out.back() == '\n' ? "" : "\n") + line;
  };
  for (size_t start = 0, end = 0; start < bytes.size(); start = end) {
    end = std::min(bytes.find('\n', start), bytes.size() - 1) + 1;
    const std::string line = bytes.substr(start, end - start);
    const std::string searched = line.substr(0, line.find('\0'));
    const std::string text = searched.substr(0, searched.find('\n'));
    const size_t mark = text.find("VtL");
    const bool marked = mark != std::string::npos && text.size() >= mark + 15;
    const size_t length =
        marked ? std::strtoul(text.substr(mark + 13, 2).c_str(), nullptr, 16) : 100;
    if (key.empty() && length < 100 && std::isxdigit(static_cast<unsigned char>(text[mark + 13])) &&
        std::isxdigit(static_cast<unsigned char>(text[mark + 14])) &&
        text.size() >= mark + 26 + length && text.compare(mark + 26, length, name) == 0) {
      key = text.substr(mark, 25);
    }
    const bool hit = rule.kind != RuleKind::kCopy && !rule.match_text.empty() &&
                     searched.find(rule.match_text) != std::string::npos;
    if (!hit || rule.kind == RuleKind::kInsertAfterMatching) out += line;
    if (hit && rule.kind == RuleKind::kReplaceMatching) out += rule.output;
    if (hit && rule.kind == RuleKind::kInsertAfterMatching) own_line(rule.output);
  }
  if (!trailer.empty()) own_line(trailer);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path =
      std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/vtpapertool-fuzz-" +
      std::to_string(::getpid());
  FuzzedDataProvider input(data, size);
  LineRule rule{static_cast<RuleKind>(input.ConsumeIntegral<uint8_t>() & 3),
                input.ConsumeRandomLengthString(64), input.ConsumeRandomLengthString(64)};
  const std::string trailer = input.ConsumeRandomLengthString(64);
  const std::string name = input.ConsumeRandomLengthString(40);
  const std::string bytes = input.ConsumeRemainingBytesAsString();
  std::ofstream(path, std::ios::binary) << bytes;
  std::string key;
  std::string want_key;
  const std::string want = expected(bytes, rule, trailer, name, want_key);
  if (find_format_id(path, name, key) != (want_key.empty() ? 0 : 1) || key != want_key)
    std::abort();
  if (prepare_data_file(path, rule, trailer) != 0) std::abort();
  std::ostringstream got;
  got << std::ifstream(path + ".$$$", std::ios::binary).rdbuf();
  if (got.str() != want) std::abort();
  ::unlink((path + ".$$$").c_str());
  return 0;
}
