#include "ops/format_check.h"

#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "formats/entries.h"
#include "formats/key.h"
#include "ops/format_list.h"
#include "ops/format_ops.h"

namespace {

std::string name_of(const OnFile& on_file, DataFile file) {
  return file_name(on_file.set.files[file]);
}

// "a, b": the names of the files.
std::string listed(const OnFile& on_file, const std::vector<DataFile>& files) {
  std::string names;
  for (const DataFile file : files) names += (names.empty() ? "" : ", ") + name_of(on_file, file);
  return names;
}

void add_line(const std::string& key, const std::string& name, const std::string& what,
              std::string& report) {
  report += key + "\t" + (name.empty() ? "-" : escaped_name(name)) + "\t" + what + "\n";
}

void add_line(const FormatOnFile& format, const std::string& what, std::string& report) {
  add_line(format.key, format.name, what, report);
}

std::vector<DataFile> lacking(const FormatOnFile& format) {
  std::vector<DataFile> files;
  for (const DataFile file : kEntryFiles) {
    if (format.entries[file].empty()) files.push_back(file);
  }
  return files;
}

// The files in which the format holds an entry that is not what its key and name give.
std::vector<DataFile> disagreeing(const FormatOnFile& format) {
  std::vector<DataFile> files;
  if (failed(format.unjudged)) return files;
  for (const DataFile file : kEntryFiles) {
    if (!entries_agree(format, file)) files.push_back(file);
  }
  return files;
}

// The files that hold more than one entry of the format, where which is its own cannot be
// told from the files.
std::vector<std::string> duplicates(const OnFile& on_file, const FormatOnFile& format) {
  std::vector<std::string> lines;
  for (const DataFile file : kEntryFiles) {
    const size_t count = format.entries[file].size();
    if (count < 2) continue;
    lines.push_back("on " + std::to_string(count) + " entries of " + name_of(on_file, file));
  }
  return lines;
}

bool is_joined(const FormatOnFile& format, DataFile file) {
  for (const Entry& entry : format.entries[file]) {
    if (entry.joined) return true;
  }
  return false;
}

using NameCounts = std::unordered_map<std::string, int>;

NameCounts name_counts(const OnFile& on_file) {
  NameCounts counts;
  for (const FormatOnFile& format : on_file.formats) {
    if (!format.name.empty()) ++counts[format.name];
  }
  return counts;
}

// A name that another format has too: a delete or a replacing add of that name takes them
// all, and which one a user means cannot be told from the files.
std::string shared_name(const FormatOnFile& format, const NameCounts& counts) {
  const auto count = counts.find(format.name);
  if (format.name.empty() || count->second < 2) return "";
  return "one of " + std::to_string(count->second) + " formats with this name";
}

std::string no_header(const OnFile& on_file) {
  return name_of(on_file, kFunctionFile) + " has no " + kCustomTapeHeader +
         " line, so adding cannot enter formats there";
}

bool lacks_header(const OnFile& on_file) {
  return !on_file.files[kFunctionFile].missing && on_file.headers == 0;
}

std::string mixed_line_ends(const OnFile& on_file, DataFile file) {
  const FileOnDisk& disk = on_file.files[file];
  if (!disk.crlf_lines || !disk.lf_lines) return "";
  return name_of(on_file, file) + " mixes lines that end in CR LF with lines that end in LF alone";
}

// What is wrong with the files as a whole.
std::string file_problems(const OnFile& on_file, const std::string& lead) {
  std::string report;
  for (size_t file = 0; file < kDataFileCount; ++file) {
    const auto data_file = static_cast<DataFile>(file);
    if (on_file.files[file].missing) {
      add_line("-", "", lead + name_of(on_file, data_file) + " is missing", report);
    }
    const std::string mixed = mixed_line_ends(on_file, data_file);
    if (!mixed.empty()) add_line("-", "", lead + mixed, report);
  }
  if (lacks_header(on_file)) add_line("-", "", lead + no_header(on_file), report);
  return report;
}

// What --repair makes of the files.
struct Mending {
  std::vector<FileChange> files;  // by DataFile
  std::unordered_set<std::string> dropped;
  std::unordered_set<std::string> left;  // formats not mended, whose lines all stay
  std::string report;
  bool unmended = false;
};

// Why the format cannot be mended without guessing; empty when it can.
std::vector<std::string> unmendable(const OnFile& on_file, const FormatOnFile& format) {
  std::vector<std::string> why;
  if (failed(format.unjudged)) why.push_back(reason(format.unjudged));
  for (const DataFile file : lacking(format)) {
    if (on_file.files[file].missing) why.push_back(name_of(on_file, file) + " is missing");
    if (file == kFunctionFile && lacks_header(on_file)) why.push_back(no_header(on_file));
  }
  for (const std::string& line : duplicates(on_file, format)) why.push_back(line);
  return why;
}

// Only a format that no entry names is gone: its key alone gives back nothing. Where the
// files that name formats are missing, no format can be judged gone.
bool is_gone(const OnFile& on_file, const FormatOnFile& format) {
  return format.name.empty() && !on_file.files[kFunctionFile].missing &&
         !on_file.files[kPaperTable].missing;
}

void drop_format(const OnFile& on_file, const FormatOnFile& format, Mending& mending) {
  std::vector<DataFile> from;
  for (const DataFile file : kEntryFiles) {
    if (format.entries[file].empty()) continue;
    // Only its entries go: a line that quotes one stays, as every line not a format's does.
    for (const Entry& entry : format.entries[file]) {
      if (!entry.joined)
        mending.files[file].rules.push_back({RuleKind::kReplaceLine, entry.text, ""});
    }
    from.push_back(file);
  }
  mending.dropped.insert(format.key);
  add_line(format, "dropped from " + listed(on_file, from), mending.report);
}

// Lost entries are entered as an add enters them; an entry that is not what the key gives
// is put right where it stands. Entries on joined lines are put right as the lines split.
void rebuild(const OnFile& on_file, const FormatOnFile& format, Mending& mending) {
  std::vector<DataFile> rebuilt;
  for (const DataFile file : kEntryFiles) {
    if (format.entries[file].empty()) {
      const FileChange entered = entering(format.request, format.key, on_file.set, file);
      for (const LineRule& rule : entered.rules) mending.files[file].rules.push_back(rule);
      mending.files[file].trailer += entered.trailer;
      rebuilt.push_back(file);
      continue;
    }
    if (entries_agree(format, file)) continue;
    const std::string expected = expected_entry(format, file);
    for (const Entry& entry : format.entries[file]) {
      if (entry.joined || entry.text + "\n" == expected) continue;
      // What a lost line feed glued after the entry becomes a line of its own again.
      const std::string entry_itself = expected.substr(0, expected.size() - 1);
      const std::string glued = entry.text.rfind(entry_itself, 0) == 0
                                    ? entry.text.substr(entry_itself.size()) + "\n"
                                    : "";
      mending.files[file].rules.push_back({RuleKind::kReplaceLine, entry.text, expected + glued});
    }
    rebuilt.push_back(file);
  }
  if (rebuilt.empty()) return;
  std::string line = "rebuilt in " + listed(on_file, rebuilt);
  // A roll's key holds only the low bits of its width: the user must see what was taken.
  if (!is_tape_model(on_file.model) && format.entries[kPaperTable].empty()) {
    line += " (" + std::to_string(format.request.width_mm) + " x " +
            std::to_string(format.request.length_mm) + " mm, as its key gives them)";
  }
  add_line(format, line, mending.report);
}

// A piece of a joined line: the entry as it must be, nothing for a dropped format's, or the
// text as it stands.
std::string mended_piece(const OnFile& on_file, const Mending& mending, DataFile file,
                         const std::string& piece) {
  if (!is_key_at(piece, 0)) return piece + "\n";
  const FormatOnFile* format = format_of(on_file, piece.substr(0, kKeyLength));
  if (format == nullptr) return piece + "\n";
  if (mending.dropped.count(format->key) != 0) return "";
  if (mending.left.count(format->key) != 0 || failed(format->unjudged)) return piece + "\n";
  return expected_entry(*format, file);
}

// Each joined line becomes the lines it joined. The rules come first, so that they decide
// those lines before any other rule could.
void split_joined_lines(const OnFile& on_file, Mending& mending) {
  for (const DataFile file : kEntryFiles) {
    for (const JoinedLine& line : on_file.files[file].joined) {
      std::vector<size_t> starts{0};
      starts.insert(starts.end(), line.cuts.begin(), line.cuts.end());
      std::string lines;
      for (size_t i = 0; i < starts.size(); ++i) {
        const size_t end = i + 1 < starts.size() ? starts[i + 1] : line.text.size();
        lines += mended_piece(on_file, mending, file, line.text.substr(starts[i], end - starts[i]));
      }
      std::vector<LineRule>& rules = mending.files[file].rules;
      rules.insert(rules.begin(), {RuleKind::kReplaceLine, line.text, lines});
    }
  }
}

// Current-media lines that name a dropped format, or a key no format has, get the model's
// default media line; where the files that name formats are missing, none is judged.
void plan_media_resets(const OnFile& on_file, Mending& mending) {
  if (on_file.files[kFunctionFile].missing || on_file.files[kPaperTable].missing) return;
  const std::string media = default_media_line(on_file.model);
  for (const std::string& key : on_file.current) {
    const FormatOnFile* format = format_of(on_file, key);
    if (format != nullptr && mending.dropped.count(key) == 0) continue;
    mending.files[kSettingsFile].rules.push_back({RuleKind::kReplaceMatching, key, media});
    add_line(key, format == nullptr ? "" : format->name,
             "current media in " + name_of(on_file, kSettingsFile) + " reset to " +
                 media.substr(0, media.size() - 1),
             mending.report);
  }
}

void mend_format(const OnFile& on_file, const FormatOnFile& format, const NameCounts& counts,
                 Mending& mending) {
  for (const DataFile file : kEntryFiles) {
    if (is_joined(format, file)) {
      add_line(format, "split off a joined line of " + name_of(on_file, file), mending.report);
    }
  }
  if (is_gone(on_file, format)) {
    drop_format(on_file, format, mending);
    return;
  }
  const std::vector<std::string> why = unmendable(on_file, format);
  for (const std::string& line : why) add_line(format, "not mended: " + line, mending.report);
  const std::string shared = shared_name(format, counts);
  if (!shared.empty()) add_line(format, "not mended: " + shared, mending.report);
  mending.unmended = mending.unmended || !why.empty() || !shared.empty();
  if (!why.empty()) {
    mending.left.insert(format.key);
  } else if (!is_whole(format)) {
    rebuild(on_file, format, mending);
  }
}

Mending plan_mending(const OnFile& on_file) {
  Mending mending;
  for (const std::string& path : on_file.set.files) mending.files.push_back({path, {}, ""});
  const NameCounts counts = name_counts(on_file);
  for (const FormatOnFile& format : on_file.formats) mend_format(on_file, format, counts, mending);
  split_joined_lines(on_file, mending);
  plan_media_resets(on_file, mending);
  const std::string left = file_problems(on_file, "not mended: ");
  mending.report += left;
  mending.unmended = mending.unmended || !left.empty();
  return mending;
}

}  // namespace

Outcome check_label_formats(const OnFile& on_file) {
  std::string report = file_problems(on_file, "");
  const NameCounts counts = name_counts(on_file);
  for (const FormatOnFile& format : on_file.formats) {
    const std::vector<DataFile> lost = lacking(format);
    if (!lost.empty()) add_line(format, "missing from " + listed(on_file, lost), report);
    // --repair drops it, having nothing to rebuild it from: that is a problem to report.
    if (lost.empty() && format.name.empty())
      add_line(format, "no entry of it holds a name", report);
    for (const DataFile file : disagreeing(format)) {
      add_line(format, "its entry in " + name_of(on_file, file) + " is not what its key gives",
               report);
    }
    if (!format.name.empty() && failed(format.unjudged)) {
      add_line(format, reason(format.unjudged), report);
    }
    for (const DataFile file : kEntryFiles) {
      if (is_joined(format, file)) {
        add_line(format, "joined to another line of " + name_of(on_file, file), report);
      }
    }
    for (const std::string& line : duplicates(on_file, format)) add_line(format, line, report);
    const std::string shared = shared_name(format, counts);
    if (!shared.empty()) add_line(format, shared, report);
  }
  for (const std::string& key : on_file.current) {
    const FormatOnFile* format = format_of(on_file, key);
    if (format != nullptr && is_whole(*format)) continue;
    add_line(key, format == nullptr ? "" : format->name,
             "current media in " + name_of(on_file, kSettingsFile) + ", but not a whole format",
             report);
  }
  return {report.empty() ? Status::kDone : Status::kProblems, {}, {}, report, {}};
}

Outcome repair_label_formats(FormatRequest request, const OnFile& on_file) {
  Mending mending = plan_mending(on_file);
  const std::vector<FileChange> changes = changed_files(std::move(mending.files));
  if (!changes.empty() && !request.dry_run) {
    // Nothing outside has to agree to a repair: its one step has no action.
    Plan plan;
    plan.steps.push_back({{}, changes});
    Outcome made = make_change(on_file.set, plan);
    if (made.status != Status::kDone) return made;
  }
  return {mending.unmended ? Status::kProblems : Status::kDone, {}, {}, mending.report, {}};
}
