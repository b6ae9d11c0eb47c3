// Arbitrary file bytes and line rules through the data store, against a plain line-by-line
// reference: the store works on blocks of many lines, and a line that holds a zero byte or
// lacks its line feed must fare as if it were read alone.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "formats/entry_walk.h"
#include "store/rewrite.h"

namespace {

// The first rule whose text the line holds decides it.
const LineRule* decider(const std::vector<LineRule>& rules, const std::string& searched) {
  for (const LineRule& rule : rules) {
    if (!rule.match_text.empty() && searched.find(rule.match_text) != std::string::npos) {
      return &rule;
    }
  }
  return nullptr;
}

std::string expected(const std::string& bytes, const std::vector<LineRule>& rules,
                     const std::string& trailer, const std::string& name, std::string& key) {
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
    const LineRule* rule = decider(rules, searched);
    if (rule == nullptr || rule->kind == RuleKind::kInsertAfterMatching) out += line;
    if (rule == nullptr) continue;
    if (rule->kind == RuleKind::kReplaceText) {
      const size_t at = searched.find(rule->match_text);
      out += line.substr(0, at) + rule->output + line.substr(at + rule->match_text.size());
    }
    if (rule->kind == RuleKind::kReplaceMatching) out += rule->output;
    if (rule->kind == RuleKind::kInsertAfterMatching) own_line(rule->output);
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
  std::vector<LineRule> rules;
  for (int count = input.ConsumeIntegral<uint8_t>() % 3; count > 0; --count) {
    rules.push_back({static_cast<RuleKind>(input.ConsumeIntegral<uint8_t>() % 4),
                     input.ConsumeRandomLengthString(64), input.ConsumeRandomLengthString(64)});
  }
  const std::string trailer = input.ConsumeRandomLengthString(64);
  const std::string name = input.ConsumeRandomLengthString(40);
  const std::string bytes = input.ConsumeRemainingBytesAsString();
  std::ofstream(path, std::ios::binary) << bytes;
  std::vector<std::string> keys;
  std::string want_key;
  const std::string want = expected(bytes, rules, trailer, name, want_key);
  if (failed(find_keys_named(path, name, keys)) || (keys.empty() ? "" : keys.front()) != want_key) {
    std::abort();
  }
  if (failed(prepare_data_file(path, rules, trailer))) std::abort();
  std::ostringstream got;
  got << std::ifstream(path + ".$$$", std::ios::binary).rdbuf();
  if (got.str() != want) std::abort();
  ::unlink((path + ".$$$").c_str());
  return 0;
}
