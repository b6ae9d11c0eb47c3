#include "ops/format_check.h"

#include <unistd.h>

#include <cerrno>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "formats/entry_walk.h"
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
};

void note_key(Catalogue& catalogue, const std::string& key, const std::string& name,
              DataFile file) {
  if (catalogue.names.emplace(key, name).second) catalogue.keys.push_back(key);
  if (catalogue.names[key].empty()) catalogue.names[key] = name;
  ++catalogue.entries[file][key];
}

Fault read_entries(Catalogue& catalogue, DataFile file) {
  std::vector<FormatEntry> entries;
  const Fault fault = read_format_entries(catalogue.set.files[file], entries);
  for (const FormatEntry& entry : entries) note_key(catalogue, entry.key, entry.name, file);
  return fault;
}

Fault read_keys(Catalogue& catalogue) {
  std::vector<std::string> imaging;
  Fault fault = read_format_ids(catalogue.set.files[kImagingArea], imaging);
  if (!failed(fault))
    fault = read_format_ids(catalogue.set.files[kSettingsFile], catalogue.current);
  if (failed(fault)) return fault;
  for (const std::string& key : imaging) note_key(catalogue, key, "", kImagingArea);
  const KeySet all(catalogue.keys.begin(), catalogue.keys.end());
  return find_format_ids(catalogue.set.files[kImagingArea], all, catalogue.imaged);
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
  return failed(fault) ? fault : read_keys(catalogue);
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

// The lines of the broken formats, and the current-media lines that name no whole format.
struct Mending {
  std::vector<FileChange> changes;
  std::string report;
};

Fault plan_drops(const Catalogue& catalogue, const KeySet& broken, Mending& mending,
                 std::unordered_map<std::string, std::string>& dropped_from) {
  for (const DataFile file : {kFunctionFile, kPaperTable, kImagingArea}) {
    KeySet held;
    const Fault fault = find_format_ids(catalogue.set.files[file], broken, held);
    if (failed(fault)) return fault;
    FileChange change{catalogue.set.files[file], {}, ""};
    for (const std::string& key : catalogue.keys) {
      if (held.count(key) == 0) continue;
      change.rules.push_back(drop_matching(key));
      std::string& files = dropped_from[key];
      files += (files.empty() ? "" : ", ") + file_name(catalogue.set.files[file]);
    }
    if (!change.rules.empty()) mending.changes.push_back(change);
  }
  return {};
}

Fault plan_media_reset(const FormatRequest& request, const Catalogue& catalogue,
                       const KeySet& broken, Mending& mending) {
  KeySet stale = broken;
  for (const std::string& key : catalogue.current) {
    if (!is_whole(catalogue, key)) stale.insert(key);
  }
  KeySet held;
  const Fault fault = find_format_ids(catalogue.set.files[kSettingsFile], stale, held);
  if (failed(fault)) return fault;
  std::vector<std::string> order = catalogue.current;
  order.insert(order.end(), catalogue.keys.begin(), catalogue.keys.end());
  const std::string media = default_media_line(request);
  FileChange change{catalogue.set.files[kSettingsFile], {}, ""};
  for (const std::string& key : order) {
    if (held.erase(key) == 0) continue;
    change.rules.push_back({RuleKind::kReplaceMatching, key, media});
    add_line(catalogue, key,
             "current media in " + settings_name(catalogue) + " reset to " +
                 media.substr(0, media.size() - 1),
             mending.report);
  }
  if (!change.rules.empty()) mending.changes.push_back(change);
  return {};
}

Fault plan_mending(const FormatRequest& request, const Catalogue& catalogue, Mending& mending) {
  KeySet broken;
  for (const std::string& key : catalogue.keys) {
    if (!is_whole(catalogue, key)) broken.insert(key);
  }
  std::unordered_map<std::string, std::string> dropped_from;
  Fault fault = plan_drops(catalogue, broken, mending, dropped_from);
  if (failed(fault)) return fault;
  const NameCounts staying = name_counts(catalogue, broken);
  for (const std::string& key : catalogue.keys) {
    if (broken.count(key) != 0) {
      add_line(catalogue, key, "dropped from " + dropped_from[key], mending.report);
    } else {
      add_duplicates(catalogue, key, "not mended: ", mending.report);
      add_shared_name(catalogue, key, staying, "not mended: ", mending.report);
    }
  }
  fault = plan_media_reset(request, catalogue, broken, mending);
  if (!catalogue.has_header) mending.report += "-\t-\tnot mended: " + no_header(catalogue) + "\n";
  return fault;
}

}  // namespace

int check_label_formats(FormatRequest request, std::string& report, Fault& fault) {
  Catalogue catalogue;
  fault = read_catalogue(request, catalogue);
  if (failed(fault)) return kDataFileFailed;
  for (const std::string& path : catalogue.missing) {
    report += "-\t-\t" + file_name(path) + " is missing\n";
  }
  if (!catalogue.has_header) report += "-\t-\t" + no_header(catalogue) + "\n";
  const NameCounts counts = name_counts(catalogue, {});
  for (const std::string& key : catalogue.keys) {
    const std::string files = lacking(catalogue, key);
    if (!files.empty()) add_line(catalogue, key, "missing from " + files, report);
    add_duplicates(catalogue, key, "", report);
    add_shared_name(catalogue, key, counts, "", report);
  }
  for (const std::string& key : catalogue.current) {
    if (is_whole(catalogue, key)) continue;
    add_line(catalogue, key,
             "current media in " + settings_name(catalogue) + ", but not a whole format", report);
  }
  return kDone;
}

int repair_label_formats(FormatRequest request, std::string& report, Fault& fault) {
  Catalogue catalogue;
  fault = read_catalogue(request, catalogue);
  if (failed(fault)) return kDataFileFailed;
  if (!catalogue.missing.empty()) {
    fault = {ENOENT, catalogue.missing.front(), ""};
    return kDataFileFailed;
  }
  Mending mending;
  fault = plan_mending(request, catalogue, mending);
  if (failed(fault)) return kDataFileFailed;
  if (!mending.changes.empty()) {
    // Nothing outside has to agree to a repair: its one step has no action.
    Change change = plan_change(catalogue.set, {{"", mending.changes}});
    const int result = make_change(request, change, kDataFileFailed, fault);
    if (result != kDone) return result;
  }
  report = mending.report;
  return kDone;
}
