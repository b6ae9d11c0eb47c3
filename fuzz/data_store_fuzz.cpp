// Arbitrary file bytes and line rules through the data store and the model of the files,
// against a plain line-by-line reference: both work on blocks of many lines, and a line
// that holds a zero byte or lacks its line feed must fare as if it were read alone.
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
  for (const LineRule& rule : rules) {
    if (!rule.match_text.empty() && searched.find(rule.match_text) != std::string::npos) {
      return &rule;
    }
  }
  return nullptr;
}

std::string expected(const std::string& bytes, const std::vector<LineRule>& rules,
                     const std::string& trailer) {
  std::string out;
  const auto own_line = [&out](const std::string& line) {
    const bool crlf = out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0;
    std::string ended;
    for (const char c : line) ended += c == '\n' && crlf ? "\r\n" : std::string(1, c);
    if (!out.empty() && out.back() != '\n') out += crlf ? "\r\n" : "\n";
    out += ended;
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
    if (rule->kind == RuleKind::kReplaceMatching) {
      const bool crlf = line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0;
      for (const char c : rule->output) out += c == '\n' && crlf ? "\r\n" : std::string(1, c);
    }
    if (rule->kind == RuleKind::kInsertAfterMatching) own_line(rule->output);
  }
  if (!trailer.empty()) own_line(trailer);
  return out;
}

// Every entry the files hold, each file's in its order, as one text to compare.
std::string entries_of(const std::string& path) {
  OnFile on_file;
  if (failed(read_on_file({}, {"", {path, path + ".none", path + ".none", path + ".none"}},
                          Reading::kWhole, on_file))) {
    std::abort();
  }
  std::string all;
  for (const FormatOnFile& format : on_file.formats) {
    for (const Entry& entry : format.entries[kFunctionFile]) {
      all += std::to_string(entry.place) + " " + entry.text + "|" + entry.name + "|" +
             (entry.joined ? "j" : "-") + "\n";
    }
  }
  return all;
}

// A file read in blocks of many lines must give what its lines read one at a time give.
std::string entries_line_by_line(const std::string& bytes, const std::string& path) {
  std::string all;
  size_t place = 0;
  for (size_t start = 0, end = 0; start < bytes.size(); start = end) {
    end = std::min(bytes.find('\n', start), bytes.size() - 1) + 1;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes.substr(start, end - start);
    std::istringstream entries(entries_of(path));
    for (std::string line; std::getline(entries, line);) {
      all += std::to_string(place++) + line.substr(line.find(' ')) + "\n";
    }
  }
  return all;
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
  const std::string bytes = input.ConsumeRemainingBytesAsString();
  const std::string want_entries = entries_line_by_line(bytes, path);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  const std::string want = expected(bytes, rules, trailer);
  if (entries_of(path) != want_entries) std::abort();
  if (failed(prepare_data_file(path, rules, trailer))) std::abort();
  std::ostringstream got;
  got << std::ifstream(path + ".$$$", std::ios::binary).rdbuf();
  if (got.str() != want) std::abort();
  ::unlink((path + ".$$$").c_str());
  ::unlink(path.c_str());
  return 0;
}
