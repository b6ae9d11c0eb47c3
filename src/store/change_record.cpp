#include "store/change_record.h"

#include <algorithm>
#include <string_view>

namespace {

// Indexed by RuleKind.
constexpr const char* kRuleWords[] = {"drop", "replace", "insert", "swap"};

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
  return "";
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

bool parse_step(const std::vector<std::string_view>& fields, ChangeRecord& record) {
  ChangeStep step;
  if (fields.size() != 2 || !unescaped(fields[1], step.action)) return false;
  record.steps.push_back(step);
  record.marked.push_back(false);
  return true;
}

bool parse_file(const std::vector<std::string_view>& fields, const FileSet& set,
                ChangeRecord& record) {
  FileChange file;
  if (fields.size() != 3 || record.steps.empty()) return false;
  file.path = path_named(set, fields[1]);
  if (file.path.empty() || !unescaped(fields[2], file.trailer)) return false;
  record.steps.back().files.push_back(file);
  return true;
}

bool parse_rule(const std::vector<std::string_view>& fields, ChangeRecord& record) {
  if (fields.size() != 4 || record.steps.empty() || record.steps.back().files.empty()) {
    return false;
  }
  const auto* word = std::find(std::begin(kRuleWords), std::end(kRuleWords), fields[1]);
  LineRule rule;
  if (word == std::end(kRuleWords) || !unescaped(fields[2], rule.match_text) ||
      !unescaped(fields[3], rule.output)) {
    return false;
  }
  rule.kind = static_cast<RuleKind>(word - std::begin(kRuleWords));
  record.steps.back().files.back().rules.push_back(rule);
  return true;
}

bool parse_mark(const std::vector<std::string_view>& fields, ChangeRecord& record) {
  if (fields.size() != 2 || fields[1].empty() || fields[1].size() > 9 ||
      fields[1].find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  const size_t step = std::stoul(std::string(fields[1]));
  if (step >= record.steps.size()) return false;
  record.marked[step] = true;
  return true;
}

// Only a mark is ever appended to a record, so only a mark can be cut short.
bool is_torn_mark(std::string_view line) {
  constexpr std::string_view kMark = "done\t";
  const size_t head = std::min(line.size(), kMark.size());
  return line.substr(0, head) == kMark.substr(0, head) &&
         line.find_first_not_of("0123456789", head) == std::string_view::npos;
}

bool parse_line(std::string_view line, const FileSet& set, ChangeRecord& record) {
  const std::vector<std::string_view> fields = fields_of(line);
  if (fields[0] == "step") return parse_step(fields, record);
  if (fields[0] == "file") return parse_file(fields, set, record);
  if (fields[0] == "rule") return parse_rule(fields, record);
  if (fields[0] == "done") return parse_mark(fields, record);
  const std::string path = path_named(set, line);
  if (path.empty()) return false;
  record.listed.push_back(path);
  return true;
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

std::string record_text(const std::vector<ChangeStep>& steps, const std::vector<bool>& marked) {
  std::string text;
  for (const ChangeStep& step : steps) {
    text += "step\t" + escaped(step.action) + "\n";
    for (const FileChange& file : step.files) {
      text += "file\t" + file_name(file.path) + "\t" + escaped(file.trailer) + "\n";
      for (const LineRule& rule : file.rules) {
        text += std::string("rule\t") + kRuleWords[static_cast<int>(rule.kind)] + "\t" +
                escaped(rule.match_text) + "\t" + escaped(rule.output) + "\n";
      }
    }
  }
  for (size_t i = 0; i < steps.size(); ++i) {
    if (marked[i] && changes_files(steps[i])) text += mark_line(i);
  }
  return text;
}

std::string mark_line(size_t step) { return "done\t" + std::to_string(step) + "\n"; }

bool parse_record(const std::string& text, const FileSet& set, ChangeRecord& record) {
  const std::string_view all(text);
  for (size_t start = 0; start < all.size();) {
    const size_t end = all.find('\n', start);
    const std::string_view line = all.substr(start, end - start);
    if (end == std::string_view::npos) return is_torn_mark(line);
    if (!parse_line(line, set, record)) return false;
    start = end + 1;
  }
  return true;
}
