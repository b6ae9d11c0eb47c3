#include "store/change_record.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

// Indexed by RuleKind.
constexpr const char* kRuleWords[] = {"drop", "replace", "insert", "swap", "exact"};

// A step's texts may hold any byte; only these three would break a line into fields.
std::string escaped(const std::string& text) {
  std::string field;
  for (const char c : text) {
    if (c == '\\') {
      field += "\\\\";
    } else if (c == '\t') {
      field += "\\t";
    } else if (c == '\n') {
      field += "\\n";
    } else {
      field += c;
    }
  }
  return field;
}

bool unescaped(std::string_view field, std::string& text) {
  text.clear();
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\') {
      text += field[i];
      continue;
    }
    if (++i == field.size()) return false;
    const char c = field[i];
    if (c != '\\' && c != 't' && c != 'n') return false;
    text += c == 't' ? '\t' : c == 'n' ? '\n' : '\\';
  }
  return true;
}

std::vector<std::string_view> fields_of(std::string_view line) {
  std::vector<std::string_view> fields;
  for (size_t start = 0;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

std::string path_named(const FileSet& set, std::string_view name) {
  for (const std::string& path : set.files) {
    if (file_name(path) == name) return path;
  }
  return {};
}

// A later step's line goes right below the line it follows, above what an earlier step
// put there, as it would if the steps were applied one after the other. Any other rule of
// a later step on the same text takes the earlier one's place: it says what becomes of
// those lines once both steps took effect.
void add_rule(FileChange& file, const LineRule& rule) {
  for (LineRule& held : file.rules) {
    if (held.match_text != rule.match_text) continue;
    if (rule.kind == RuleKind::kInsertAfterMatching && held.kind == rule.kind) {
      held.output = rule.output + held.output;
    } else {
      held = rule;
    }
    return;
  }
  file.rules.push_back(rule);
}

// A record's line that this program does not write, and why.
Fault not_ours(const char* why) { return {0, "", why}; }

Fault parse_step(const std::vector<std::string_view>& fields, ChangeRecord& record) {
  ChangeStep step;
  for (size_t i = 1; i < fields.size(); ++i) {
    std::string word;
    if (!unescaped(fields[i], word)) return not_ours("a step with a broken escape");
    if (!word.empty()) step.action.push_back(word);
  }
  record.steps.push_back(step);
  record.marked.push_back(false);
  return {};
}

Fault parse_file(const std::vector<std::string_view>& fields, const FileSet& set,
                 ChangeRecord& record) {
  FileChange file;
  if (fields.size() != 3 || record.steps.empty()) return not_ours("a file line out of place");
  file.path = path_named(set, fields[1]);
  if (file.path.empty()) return not_ours("a file that is not one of the model's data files");
  if (!unescaped(fields[2], file.trailer)) return not_ours("a file line with a broken escape");
  record.steps.back().files.push_back(file);
  return {};
}

Fault parse_rule(const std::vector<std::string_view>& fields, ChangeRecord& record) {
  if (fields.size() < 4 || fields.size() > 5 || record.steps.empty() ||
      record.steps.back().files.empty()) {
    return not_ours("a rule line out of place");
  }
  const auto* word = std::find(std::begin(kRuleWords), std::end(kRuleWords), fields[1]);
  LineRule rule;
  if (word == std::end(kRuleWords)) return not_ours("a rule of no kind this program knows");
  if (!unescaped(fields[2], rule.match_text) || !unescaped(fields[3], rule.output) ||
      (fields.size() == 5 && !unescaped(fields[4], rule.unmatched))) {
    return not_ours("a rule line with a broken escape");
  }
  rule.kind = static_cast<RuleKind>(word - std::begin(kRuleWords));
  record.steps.back().files.back().rules.push_back(rule);
  return {};
}

bool read_number(std::string_view field, uint64_t& value) {
  if (field.empty() || field.size() > 20 ||
      field.find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  errno = 0;
  value = std::strtoull(std::string(field).c_str(), nullptr, 10);
  return errno == 0;
}

// A file dated before 1970 has times below zero.
bool read_signed_number(std::string_view field, int64_t& value) {
  const bool negative = !field.empty() && field.front() == '-';
  uint64_t magnitude = 0;
  if (!read_number(field.substr(negative ? 1 : 0), magnitude) ||
      magnitude > static_cast<uint64_t>(INT64_MAX)) {
    return false;
  }
  value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

Fault parse_mark(const std::vector<std::string_view>& fields, ChangeRecord& record) {
  uint64_t step = 0;
  if (fields.size() != 2 || !read_number(fields[1], step))
    return not_ours("a mark without a step number");
  if (step >= record.steps.size()) return not_ours("a mark of no step");
  record.marked[step] = true;
  return {};
}

Fault parse_read(const std::vector<std::string_view>& fields, const FileSet& set,
                 ChangeRecord& record) {
  if (fields.size() != 9) return not_ours("a read line without its eight fields");
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t numbers[5] = {};  // size, then the times
  bool read_all = read_number(fields[2], device) && read_number(fields[3], inode);
  for (size_t i = 0; i < 5 && read_all; ++i)
    read_all = read_signed_number(fields[i + 4], numbers[i]);
  if (!read_all) return not_ours("a read line with a field not a number");
  ReadAs read{path_named(set, fields[1]), {}};
  if (read.path.empty()) return not_ours("a file that is not one of the model's data files");
  read.identity = {static_cast<dev_t>(device),
                   static_cast<ino_t>(inode),
                   static_cast<off_t>(numbers[0]),
                   {static_cast<time_t>(numbers[1]), static_cast<long>(numbers[2])},
                   {static_cast<time_t>(numbers[3]), static_cast<long>(numbers[4])}};
  record.read.push_back(read);
  return {};
}

// Only a mark is ever appended to a record, so only a mark can be cut short.
bool is_torn_mark(std::string_view line) {
  constexpr std::string_view kMark = "done\t";
  const size_t head = std::min(line.size(), kMark.size());
  return line.substr(0, head) == kMark.substr(0, head) &&
         line.find_first_not_of("0123456789", head) == std::string_view::npos;
}

Fault parse_line(std::string_view line, const FileSet& set, ChangeRecord& record) {
  const std::vector<std::string_view> fields = fields_of(line);
  if (fields[0] == "step") return parse_step(fields, record);
  if (fields[0] == "file") return parse_file(fields, set, record);
  if (fields[0] == "rule") return parse_rule(fields, record);
  if (fields[0] == "done") return parse_mark(fields, record);
  if (fields[0] == "read") return parse_read(fields, set, record);
  const std::string path = path_named(set, line);
  if (path.empty()) return not_ours("a line this program does not write");
  record.listed.push_back(path);
  return {};
}

std::string identity_fields(const FileIdentity& identity) {
  const auto number = [](auto value) { return "\t" + std::to_string(value); };
  return number(identity.device) + number(identity.inode) + number(identity.size) +
         number(identity.modified.tv_sec) + number(identity.modified.tv_nsec) +
         number(identity.changed.tv_sec) + number(identity.changed.tv_nsec);
}

}  // namespace

bool changes_file(const FileChange& file) { return !file.rules.empty() || !file.trailer.empty(); }

bool changes_files(const ChangeStep& step) {
  return std::any_of(step.files.begin(), step.files.end(), changes_file);
}

std::vector<FileChange> changed_files(std::vector<FileChange> files) {
  files.erase(std::remove_if(files.begin(), files.end(),
                             [](const FileChange& file) { return !changes_file(file); }),
              files.end());
  return files;
}

std::vector<FileChange> merged_changes(const FileSet& set, const std::vector<ChangeStep>& steps,
                                       const std::vector<bool>& take) {
  std::vector<FileChange> merged;
  for (const std::string& path : set.files) {
    FileChange whole{path, {}, ""};
    for (size_t i = 0; i < steps.size(); ++i) {
      if (!take[i]) continue;
      for (const FileChange& part : steps[i].files) {
        if (part.path != path) continue;
        for (const LineRule& rule : part.rules) add_rule(whole, rule);
        whole.trailer += part.trailer;
      }
    }
    if (changes_file(whole)) merged.push_back(std::move(whole));
  }
  return merged;
}

std::string record_text(const ChangeRecord& record) {
  std::string text;
  for (const ChangeStep& step : record.steps) {
    text += "step";
    for (const std::string& word : step.action) text += "\t" + escaped(word);
    text += "\n";
    for (const FileChange& file : step.files) {
      text += "file\t" + file_name(file.path) + "\t" + escaped(file.trailer) + "\n";
      for (const LineRule& rule : file.rules) {
        // A copy made afresh must fail as the first one would have, where the line a
        // rule needs is gone.
        text += std::string("rule\t") + kRuleWords[static_cast<int>(rule.kind)] + "\t" +
                escaped(rule.match_text) + "\t" + escaped(rule.output) +
                (rule.unmatched.empty() ? "" : "\t" + escaped(rule.unmatched)) + "\n";
      }
    }
  }
  for (const ReadAs& read : record.read) {
    text += "read\t" + file_name(read.path) + identity_fields(read.identity) + "\n";
  }
  for (size_t i = 0; i < record.steps.size(); ++i) {
    if (record.marked[i] && changes_files(record.steps[i])) text += mark_line(i);
  }
  return text;
}

std::string mark_line(size_t step) { return "done\t" + std::to_string(step) + "\n"; }

Fault parse_record(const std::string& text, const FileSet& set, ChangeRecord& record) {
  const std::string_view all(text);
  size_t number = 0;
  for (size_t start = 0; start < all.size();) {
    ++number;
    const size_t end = all.find('\n', start);
    const std::string_view line = all.substr(start, end - start);
    if (end == std::string_view::npos && is_torn_mark(line)) return {};
    Fault fault = end == std::string_view::npos
                      ? not_ours("a last line without its line feed that is no mark")
                      : parse_line(line, set, record);
    if (failed(fault)) {
      fault.why = "line " + std::to_string(number) + ": " + fault.why;
      return fault;
    }
    start = end + 1;
  }
  return {};
}
