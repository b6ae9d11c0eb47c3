// Arbitrary file bytes and line rules through the data store, against a plain line-by-line
// reference: the store works on blocks of many lines, and a line that holds a zero byte or
// lacks its line feed must fare as if it were read alone. The model of the files reads
// the same bytes without a fault.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "formats/on_file.h"
#include "store/rewrite.h"

namespace {

// The first rule whose text the line holds decides it.
const LineRule* decider(const std::vector<LineRule>& rules, const std::string& searched) {
  std::string whole = searched;
  if (!whole.empty() && whole.back() == '\n') whole.pop_back();
  if (!whole.empty() && whole.back() == '\r' && searched.back() == '\n') whole.pop_back();
  for (const LineRule& rule : rules) {
    if (rule.match_text.empty() || searched.find(rule.match_text) == std::string::npos) continue;
    if (rule.kind != RuleKind::kReplaceLine || whole == rule.match_text) return &rule;
  }
  return nullptr;
}

// The tool's own lines take CR LF ends where the file's do; a CR already there stays one.
std::string ended_as(const std::string& lines, bool crlf) {
  std::string ended;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (crlf && lines[i] == '\n' && (i == 0 || lines[i - 1] != '\r')) ended += '\r';
    ended += lines[i];
  }
  return ended;
}

std::string expected(const std::string& bytes, const std::vector<LineRule>& rules,
                     const std::string& trailer) {
  std::string out;
  const auto own_line = [&out](const std::string& line) {
    const size_t last_end = out.rfind('\n');  // the last whole line's end decides
    const bool crlf = last_end != std::string::npos && last_end > 0 && out[last_end - 1] == '\r';
    if (!out.empty() && out.back() != '\n') out += crlf ? "\r\n" : "\n";
    out += ended_as(line, crlf);
  };
  for (size_t start = 0, end = 0; start < bytes.size(); start = end) {
    end = std::min(bytes.find('\n', start), bytes.size() - 1) + 1;
    const std::string line = bytes.substr(start, end - start);
    const std::string searched = line.substr(0, line.find('\0'));
    const LineRule* rule = decider(rules, searched);
    if (rule == nullptr || rule->kind == RuleKind::kInsertAfterMatching) out += line;
    if (rule == nullptr) continue;
    if (rule->kind == RuleKind::kReplaceText) {
      const size_t at = searched.find(rule->match_text);
      out += line.substr(0, at) + rule->output + line.substr(at + rule->match_text.size());
    }
    if (rule->kind == RuleKind::kReplaceMatching || rule->kind == RuleKind::kReplaceLine) {
      const bool crlf = line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0;
      out += ended_as(rule->output, crlf);
    }
    if (rule->kind == RuleKind::kInsertAfterMatching) own_line(rule->output);
  }
  if (!trailer.empty()) own_line(trailer);
  return out;
}

// Whatever the bytes, every entry the model finds starts with its key, holds no line end,
// and no text after its line's first zero byte.
void check_entries(const std::string& path, const std::string& bytes) {
  OnFile on_file;
  if (failed(read_on_file({}, {"", {path, path + ".none", path + ".none", path + ".none"}},
                          Reading::kWhole, on_file))) {
    std::abort();
  }
  for (const FormatOnFile& format : on_file.formats) {
    for (const Entry& entry : format.entries[kFunctionFile]) {
      if (entry.text.compare(0, kKeyLength, format.key) != 0 ||
          entry.text.find_first_of(std::string("\n\0", 2)) != std::string::npos ||
          bytes.find(entry.text) == std::string::npos) {
        std::abort();
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path =
      std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/vtpapertool-fuzz-" +
      std::to_string(::getpid());
  FuzzedDataProvider input(data, size);
  std::vector<LineRule> rules;
  for (int count = input.ConsumeIntegral<uint8_t>() % 3; count > 0; --count) {
    rules.push_back({static_cast<RuleKind>(input.ConsumeIntegral<uint8_t>() % 5),
                     input.ConsumeRandomLengthString(64), input.ConsumeRandomLengthString(64)});
  }
  const std::string trailer = input.ConsumeRandomLengthString(64);
  const std::string bytes = input.ConsumeRemainingBytesAsString();
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  const std::string want = expected(bytes, rules, trailer);
  check_entries(path, bytes);
  if (failed(prepare_data_file(path, rules, trailer))) std::abort();
  std::ostringstream got;
  got << std::ifstream(path + ".$$$", std::ios::binary).rdbuf();
  if (got.str() != want) std::abort();
  ::unlink((path + ".$$$").c_str());
  ::unlink(path.c_str());
  return 0;
}
