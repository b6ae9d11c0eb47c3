#include "ops/format_check.h"

#include <unistd.h>

#include <cerrno>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "formats/entries.h"
#include "formats/entry_walk.h"
#include "formats/key.h"
#include "formats/layout.h"
#include "ops/format_list.h"
#include "ops/format_ops.h"

namespace {

using KeySet = std::unordered_set<std::string>;
using KeyCounts = std::unordered_map<std::string, int>;

// What the data files hold of the custom formats.
struct Catalogue {
  FileSet set;                       // files by DataFile
  std::vector<std::string> missing;  // data files that do not exist
  bool has_header = true;
  std::vector<std::string> keys;  // every format's key, in the order --list shows them
  std::unordered_map<std::string, std::string> names;
  KeyCounts entries[kDataFileCount];  // entries per key, of the files that have entries
  KeySet imaged;                      // keys that some ImagingArea line holds
  std::vector<std::string> current;   // the keys that the settings file's lines name
  // Each key's first paper table entry, ending where the next entry on its line starts.
  std::unordered_map<std::string, FormatEntry> paper;
  std::vector<JoinedLine> joined[kDataFileCount];  // lines a lost line feed joined
  KeySet joined_keys[kDataFileCount];              // keys with an entry on one of them
};

constexpr DataFile kEntryFiles[] = {kFunctionFile, kPaperTable, kImagingArea};

void note_key(Catalogue& catalogue, const std::string& key, const std::string& name,
              DataFile file) {
  if (catalogue.names.emplace(key, name).second) catalogue.keys.push_back(key);
  if (catalogue.names[key].empty()) catalogue.names[key] = name;
  ++catalogue.entries[file][key];
}

Fault read_entries(Catalogue& catalogue, DataFile file) {
  std::vector<FormatEntry> entries;
  const Fault fault = read_format_entries(catalogue.set.files[file], entries);
  for (const FormatEntry& entry : entries) {
    note_key(catalogue, entry.key, entry.name, file);
    if (file == kPaperTable) catalogue.paper.emplace(entry.key, entry);
  }
  return fault;
}

// counted: the segment starts at its line's first mark, which the entries already hold.
void note_segment(Catalogue& catalogue, DataFile file, const std::string& segment, bool counted) {
  FormatEntry entry;
  entry.key = segment.substr(0, kKeyLength);
  if (file != kImagingArea && !read_entry(segment, 0, entry)) return;
  if (file == kPaperTable) catalogue.paper[entry.key] = entry;
  catalogue.joined_keys[file].insert(entry.key);
  if (counted) return;
  note_key(catalogue, entry.key, entry.name, file);
  if (file == kImagingArea) catalogue.imaged.insert(entry.key);
}

// Each entry of a joined line counts as if it stood on a line of its own.
Fault read_joined(Catalogue& catalogue, DataFile file) {
  const Fault fault = read_joined_lines(catalogue.set.files[file], catalogue.joined[file]);
  for (const JoinedLine& line : catalogue.joined[file]) {
    const size_t first_mark = line.text.find(kKeyMark);
    for (size_t i = 0; i < line.cuts.size(); ++i) {
      const size_t end = i + 1 < line.cuts.size() ? line.cuts[i + 1] : line.text.size();
      note_segment(catalogue, file, line.text.substr(line.cuts[i], end - line.cuts[i]),
                   line.cuts[i] == first_mark);
    }
    if (is_key_at(line.text, 0)) {
      note_segment(catalogue, file, line.text.substr(0, line.cuts.front()), true);
    }
  }
  return fault;
}

Fault read_keys(Catalogue& catalogue) {
  std::vector<std::string> imaging;
  Fault fault = read_line_keys(catalogue.set.files[kImagingArea], imaging);
  if (!failed(fault)) fault = read_line_keys(catalogue.set.files[kSettingsFile], catalogue.current);
  if (failed(fault)) return fault;
  for (const std::string& key : imaging) note_key(catalogue, key, "", kImagingArea);
  const KeySet all(catalogue.keys.begin(), catalogue.keys.end());
  return find_held_keys(catalogue.set.files[kImagingArea], all, catalogue.imaged);
}

// A missing file is a problem to report, not a failure to read.
Fault read_catalogue(const FormatRequest& request, Catalogue& catalogue) {
  catalogue.set = model_files(request.model_id);
  for (const std::string& path : catalogue.set.files) {
    if (::access(path.c_str(), F_OK) != 0 && errno == ENOENT) catalogue.missing.push_back(path);
  }
  bool header = false;
  Fault fault = file_holds_text(catalogue.set.files[kFunctionFile], kCustomTapeHeader, header);
  const bool no_function_file =
      !catalogue.missing.empty() && catalogue.missing.front() == catalogue.set.files[kFunctionFile];
  catalogue.has_header = header || no_function_file;
  if (!failed(fault)) fault = read_entries(catalogue, kPaperTable);
  if (!failed(fault)) fault = read_entries(catalogue, kFunctionFile);
  if (!failed(fault)) fault = read_keys(catalogue);
  for (const DataFile file : kEntryFiles) {
    if (!failed(fault)) fault = read_joined(catalogue, file);
  }
  return fault;
}

bool holds(const Catalogue& catalogue, const std::string& key, DataFile file) {
  if (file == kImagingArea) return catalogue.imaged.count(key) != 0;
  return catalogue.entries[file].count(key) != 0;
}

// The files among the function file, paper table and ImagingArea that lack the key.
std::string lacking(const Catalogue& catalogue, const std::string& key) {
  std::string files;
  for (const DataFile file : {kFunctionFile, kPaperTable, kImagingArea}) {
    if (holds(catalogue, key, file)) continue;
    files += (files.empty() ? "" : ", ") + file_name(catalogue.set.files[file]);
  }
  return files;
}

bool is_whole(const Catalogue& catalogue, const std::string& key) {
  return lacking(catalogue, key).empty();
}

void add_line(const Catalogue& catalogue, const std::string& key, const std::string& what,
              std::string& report) {
  const auto name = catalogue.names.find(key);
  const bool named = name != catalogue.names.end() && !name->second.empty();
  report += key + "\t" + (named ? escaped_name(name->second) : "-") + "\t" + what + "\n";
}

std::string no_header(const Catalogue& catalogue) {
  return file_name(catalogue.set.files[kFunctionFile]) + " has no " + kCustomTapeHeader +
         " line, so adding cannot enter formats there";
}

// Lines for a key on more than one entry of a file: which entry is the format's own
// cannot be told from the files.
void add_duplicates(const Catalogue& catalogue, const std::string& key, const std::string& lead,
                    std::string& report) {
  for (const DataFile file : {kFunctionFile, kPaperTable, kImagingArea}) {
    const auto count = catalogue.entries[file].find(key);
    if (count == catalogue.entries[file].end() || count->second < 2) continue;
    add_line(catalogue, key,
             lead + "on " + std::to_string(count->second) + " entries of " +
                 file_name(catalogue.set.files[file]),
             report);
  }
}

using NameCounts = std::unordered_map<std::string, int>;

// How many formats stand under each name, leaving out those in left_out.
NameCounts name_counts(const Catalogue& catalogue, const KeySet& left_out) {
  NameCounts counts;
  for (const std::string& key : catalogue.keys) {
    const std::string& name = catalogue.names.at(key);
    if (!name.empty() && left_out.count(key) == 0) ++counts[name];
  }
  return counts;
}

// A line for a key whose name another format has too: a delete or a replacing add of
// that name takes them all, and which one a user means cannot be told from the files.
void add_shared_name(const Catalogue& catalogue, const std::string& key, const NameCounts& counts,
                     const std::string& lead, std::string& report) {
  const auto count = counts.find(catalogue.names.at(key));
  if (count == counts.end() || count->second < 2) return;
  add_line(catalogue, key,
           lead + "one of " + std::to_string(count->second) + " formats with this name", report);
}

std::string settings_name(const Catalogue& catalogue) {
  return file_name(catalogue.set.files[kSettingsFile]);
}

// What --repair makes of the catalogue.
struct Mending {
  std::vector<FileChange> files;  // by DataFile
  KeySet dropped;
  std::string report;
  bool unmended = false;
};

// The lines a format lacks that its key and its other lines give back exactly: a paper
// table entry from the key, the name and the tape table (tape models), an ImagingArea line
// from the key and the paper table, a function file entry from the key and the name.
// Appends them to files and says in rebuilt_in where; false when one cannot be rebuilt.
bool rebuild(FormatRequest request, const Catalogue& catalogue, const std::string& key,
             std::vector<FileChange>& files, std::string& rebuilt_in) {
  request.label_name = catalogue.names.at(key);
  const bool has_paper = holds(catalogue, key, kPaperTable);
  if (request.label_name.empty()) return false;
  if (has_paper ? !request_from_paper_entry(catalogue.paper.at(key), request)
                : !is_tape_model(request) || !request_from_tape_key(key, request)) {
    return false;
  }
  if (!holds(catalogue, key, kFunctionFile) && !catalogue.has_header) return false;
  for (const DataFile file : kEntryFiles) {
    if (holds(catalogue, key, file)) continue;
    if (file == kFunctionFile) {
      files[file].rules.push_back(
          {RuleKind::kInsertAfterMatching, kCustomTapeHeader, function_entry(key, request)});
    } else {
      files[file].trailer +=
          file == kPaperTable ? paper_table_entry(key, request) : imaging_area_entry(key, request);
    }
    rebuilt_in += (rebuilt_in.empty() ? "" : ", ") + file_name(catalogue.set.files[file]);
  }
  return true;
}

// Each joined line becomes the lines it joined, less the entries of dropped formats. The
// rules come first, so that they decide those lines before any drop rule could.
void split_joined_lines(const Catalogue& catalogue, Mending& mending) {
  for (const DataFile file : kEntryFiles) {
    for (const JoinedLine& line : catalogue.joined[file]) {
      std::vector<size_t> starts{0};
      starts.insert(starts.end(), line.cuts.begin(), line.cuts.end());
      std::string lines;
      for (size_t i = 0; i < starts.size(); ++i) {
        const size_t end = i + 1 < starts.size() ? starts[i + 1] : line.text.size();
        const std::string part = line.text.substr(starts[i], end - starts[i]);
        const bool is_entry = is_key_at(part, 0);
        if (!is_entry || mending.dropped.count(part.substr(0, kKeyLength)) == 0) {
          lines += part + "\n";
        }
      }
      std::vector<LineRule>& rules = mending.files[file].rules;
      rules.insert(rules.begin(), {RuleKind::kReplaceMatching, line.text, lines});
    }
  }
}

// Every line that holds a dropped key goes, from whichever file holds it.
Fault drop_broken(const Catalogue& catalogue, Mending& mending,
                  std::unordered_map<std::string, std::string>& dropped_from) {
  for (const DataFile file : kEntryFiles) {
    KeySet held;
    const Fault fault = find_held_keys(catalogue.set.files[file], mending.dropped, held);
    if (failed(fault)) return fault;
    for (const std::string& key : catalogue.keys) {
      if (held.count(key) == 0) continue;
      mending.files[file].rules.push_back(drop_matching(key));
      std::string& files = dropped_from[key];
      files += (files.empty() ? "" : ", ") + file_name(catalogue.set.files[file]);
    }
  }
  return {};
}

// Current-media lines that name a dropped key, or a key no format has, get the model's
// default media line.
Fault plan_media_reset(const FormatRequest& request, const Catalogue& catalogue, Mending& mending) {
  KeySet stale = mending.dropped;
  for (const std::string& key : catalogue.current) {
    if (catalogue.names.count(key) == 0) stale.insert(key);
  }
  KeySet held;
  const Fault fault = find_held_keys(catalogue.set.files[kSettingsFile], stale, held);
  if (failed(fault)) return fault;
  std::vector<std::string> order = catalogue.current;
  order.insert(order.end(), catalogue.keys.begin(), catalogue.keys.end());
  const std::string media = default_media_line(request);
  for (const std::string& key : order) {
    if (held.erase(key) == 0) continue;
    mending.files[kSettingsFile].rules.push_back({RuleKind::kReplaceMatching, key, media});
    add_line(catalogue, key,
             "current media in " + settings_name(catalogue) + " reset to " +
                 media.substr(0, media.size() - 1),
             mending.report);
  }
  return {};
}

// Problems that need a person: which of two entries of one key, or of two formats of one
// name, is meant, and where the function file's header belongs.
void report_unmended(const Catalogue& catalogue, Mending& mending) {
  const NameCounts staying = name_counts(catalogue, mending.dropped);
  const size_t before = mending.report.size();
  for (const std::string& key : catalogue.keys) {
    if (mending.dropped.count(key) != 0) continue;
    add_duplicates(catalogue, key, "not mended: ", mending.report);
    add_shared_name(catalogue, key, staying, "not mended: ", mending.report);
  }
  if (!catalogue.has_header) mending.report += "-\t-\tnot mended: " + no_header(catalogue) + "\n";
  mending.unmended = mending.report.size() != before;
}

Fault plan_mending(const FormatRequest& request, const Catalogue& catalogue, Mending& mending) {
  for (const std::string& path : catalogue.set.files) mending.files.push_back({path, {}, ""});
  std::unordered_map<std::string, std::string> rebuilt_in;
  for (const std::string& key : catalogue.keys) {
    if (is_whole(catalogue, key)) continue;
    if (!rebuild(request, catalogue, key, mending.files, rebuilt_in[key])) {
      mending.dropped.insert(key);
    }
  }
  std::unordered_map<std::string, std::string> dropped_from;
  Fault fault = drop_broken(catalogue, mending, dropped_from);
  if (failed(fault)) return fault;
  for (const std::string& key : catalogue.keys) {
    for (const DataFile file : kEntryFiles) {
      if (catalogue.joined_keys[file].count(key) == 0) continue;
      add_line(catalogue, key, "split off a joined line of " + file_name(catalogue.set.files[file]),
               mending.report);
    }
    if (mending.dropped.count(key) != 0) {
      add_line(catalogue, key, "dropped from " + dropped_from[key], mending.report);
    } else if (!rebuilt_in[key].empty()) {
      add_line(catalogue, key, "rebuilt in " + rebuilt_in[key], mending.report);
    }
  }
  split_joined_lines(catalogue, mending);
  fault = plan_media_reset(request, catalogue, mending);
  report_unmended(catalogue, mending);
  return fault;
}

}  // namespace

Outcome check_label_formats(FormatRequest request) {
  Catalogue catalogue;
  const Fault fault = read_catalogue(request, catalogue);
  if (failed(fault)) return failure(Result::kDataFileFailed, fault);
  std::string report;
  for (const std::string& path : catalogue.missing) {
    report += "-\t-\t" + file_name(path) + " is missing\n";
  }
  if (!catalogue.has_header) report += "-\t-\t" + no_header(catalogue) + "\n";
  const NameCounts counts = name_counts(catalogue, {});
  for (const std::string& key : catalogue.keys) {
    const std::string files = lacking(catalogue, key);
    if (!files.empty()) add_line(catalogue, key, "missing from " + files, report);
    for (const DataFile file : kEntryFiles) {
      if (catalogue.joined_keys[file].count(key) == 0) continue;
      add_line(catalogue, key, "joined to another line of " + file_name(catalogue.set.files[file]),
               report);
    }
    add_duplicates(catalogue, key, "", report);
    add_shared_name(catalogue, key, counts, "", report);
  }
  for (const std::string& key : catalogue.current) {
    if (is_whole(catalogue, key)) continue;
    add_line(catalogue, key,
             "current media in " + settings_name(catalogue) + ", but not a whole format", report);
  }
  return {Result::kDone, {}, report};
}

Outcome repair_label_formats(FormatRequest request) {
  Catalogue catalogue;
  Fault fault = read_catalogue(request, catalogue);
  if (failed(fault)) return failure(Result::kDataFileFailed, fault);
  if (!catalogue.missing.empty()) {
    return failure(Result::kDataFileFailed, {ENOENT, catalogue.missing.front(), ""});
  }
  Mending mending;
  fault = plan_mending(request, catalogue, mending);
  if (failed(fault)) return failure(Result::kDataFileFailed, fault);
  const std::vector<FileChange> changes = changed_files(std::move(mending.files));
  if (!changes.empty() && !request.dry_run) {
    // Nothing outside has to agree to a repair: its one step has no action.
    Change change = plan_change(catalogue.set, {{"", changes}});
    const Outcome made = make_change(request, change, Result::kDataFileFailed);
    if (made.result != Result::kDone) return made;
  }
  return {mending.unmended ? Result::kNotMended : Result::kDone, {}, mending.report};
}
