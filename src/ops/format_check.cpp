#include "ops/format_check.h"

#include <unistd.h>

#include <cerrno>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ops/format_list.h"
#include "ops/format_ops.h"
#include "store/format_id.h"
#include "store/paths.h"
#include "store/records.h"
#include "store/sys_io.h"
#include "store/transaction.h"

namespace {

using KeySet = std::unordered_set<std::string>;
using KeyCounts = std::unordered_map<std::string, int>;

// What the data files hold of the custom formats.
struct Catalogue {
  std::vector<std::string> paths;    // by DataFile
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

bool read_entries(Catalogue& catalogue, DataFile file) {
  std::vector<FormatEntry> entries;
  if (read_format_entries(catalogue.paths[file], entries) != 0) return false;
  for (const FormatEntry& entry : entries) note_key(catalogue, entry.key, entry.name, file);
  return true;
}

bool read_keys(Catalogue& catalogue) {
  std::vector<std::string> imaging;
  if (read_format_ids(catalogue.paths[kImagingArea], imaging) != 0 ||
      read_format_ids(catalogue.paths[kSettingsFile], catalogue.current) != 0) {
    return false;
  }
  for (const std::string& key : imaging) note_key(catalogue, key, "", kImagingArea);
  const KeySet all(catalogue.keys.begin(), catalogue.keys.end());
  return find_format_ids(catalogue.paths[kImagingArea], all, catalogue.imaged) == 0;
}

// A missing file is a problem to report, not a failure to read.
bool read_catalogue(const FormatRequest& request, Catalogue& catalogue) {
  catalogue.paths = data_file_paths(request.model_id);
  for (const std::string& path : catalogue.paths) {
    if (::access(path.c_str(), F_OK) != 0 && errno == ENOENT) catalogue.missing.push_back(path);
  }
  const int header = file_holds_text(catalogue.paths[kFunctionFile], kCustomTapeHeader);
  const bool no_function_file =
      !catalogue.missing.empty() && catalogue.missing.front() == catalogue.paths[kFunctionFile];
  catalogue.has_header = header == 1 || no_function_file;
  return header >= 0 && read_entries(catalogue, kPaperTable) &&
         read_entries(catalogue, kFunctionFile) && read_keys(catalogue);
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
    files += (files.empty() ? "" : ", ") + file_name(catalogue.paths[file]);
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
  return file_name(catalogue.paths[kFunctionFile]) + " has no " + kCustomTapeHeader +
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
                 file_name(catalogue.paths[file]),
             report);
  }
}

std::string settings_name(const Catalogue& catalogue) {
  return file_name(catalogue.paths[kSettingsFile]);
}

// The lines of the broken formats, and the current-media lines that name no whole format.
struct Mending {
  std::vector<FileChange> changes;
  std::string report;
};

bool plan_drops(const Catalogue& catalogue, const KeySet& broken, Mending& mending,
                std::unordered_map<std::string, std::string>& dropped_from) {
  for (const DataFile file : {kFunctionFile, kPaperTable, kImagingArea}) {
    KeySet held;
    if (find_format_ids(catalogue.paths[file], broken, held) != 0) return false;
    FileChange change{catalogue.paths[file], {}, ""};
    for (const std::string& key : catalogue.keys) {
      if (held.count(key) == 0) continue;
      change.rules.push_back(drop_matching(key));
      std::string& files = dropped_from[key];
      files += (files.empty() ? "" : ", ") + file_name(catalogue.paths[file]);
    }
    if (!change.rules.empty()) mending.changes.push_back(change);
  }
  return true;
}

bool plan_media_reset(const FormatRequest& request, const Catalogue& catalogue,
                      const KeySet& broken, Mending& mending) {
  KeySet stale = broken;
  for (const std::string& key : catalogue.current) {
    if (!is_whole(catalogue, key)) stale.insert(key);
  }
  KeySet held;
  if (find_format_ids(catalogue.paths[kSettingsFile], stale, held) != 0) return false;
  std::vector<std::string> order = catalogue.current;
  order.insert(order.end(), catalogue.keys.begin(), catalogue.keys.end());
  const std::string media = default_media_line(request);
  FileChange change{catalogue.paths[kSettingsFile], {}, ""};
  for (const std::string& key : order) {
    if (held.erase(key) == 0) continue;
    change.rules.push_back({RuleKind::kReplaceMatching, key, media});
    add_line(catalogue, key,
             "current media in " + settings_name(catalogue) + " reset to " +
                 media.substr(0, media.size() - 1),
             mending.report);
  }
  if (!change.rules.empty()) mending.changes.push_back(change);
  return true;
}

bool plan_mending(const FormatRequest& request, const Catalogue& catalogue, Mending& mending) {
  KeySet broken;
  for (const std::string& key : catalogue.keys) {
    if (!is_whole(catalogue, key)) broken.insert(key);
  }
  std::unordered_map<std::string, std::string> dropped_from;
  if (!plan_drops(catalogue, broken, mending, dropped_from)) return false;
  for (const std::string& key : catalogue.keys) {
    if (broken.count(key) != 0) {
      add_line(catalogue, key, "dropped from " + dropped_from[key], mending.report);
    } else {
      add_duplicates(catalogue, key, "not mended: ", mending.report);
    }
  }
  if (!plan_media_reset(request, catalogue, broken, mending)) return false;
  if (!catalogue.has_header) mending.report += "-\t-\tnot mended: " + no_header(catalogue) + "\n";
  return true;
}

}  // namespace

int check_label_formats(FormatRequest request, std::string& report) {
  Catalogue catalogue;
  if (!read_catalogue(request, catalogue)) return kDataFileFailed;
  for (const std::string& path : catalogue.missing) {
    report += "-\t-\t" + file_name(path) + " is missing\n";
  }
  if (!catalogue.has_header) report += "-\t-\t" + no_header(catalogue) + "\n";
  for (const std::string& key : catalogue.keys) {
    const std::string files = lacking(catalogue, key);
    if (!files.empty()) add_line(catalogue, key, "missing from " + files, report);
    add_duplicates(catalogue, key, "", report);
  }
  for (const std::string& key : catalogue.current) {
    if (is_whole(catalogue, key)) continue;
    add_line(catalogue, key,
             "current media in " + settings_name(catalogue) + ", but not a whole format", report);
  }
  return kDone;
}

int repair_label_formats(FormatRequest request, std::string& report) {
  Catalogue catalogue;
  if (!read_catalogue(request, catalogue)) return kDataFileFailed;
  if (!catalogue.missing.empty()) {
    io_fail(ENOENT, catalogue.missing.front());
    return kDataFileFailed;
  }
  Mending mending;
  if (!plan_mending(request, catalogue, mending)) return kDataFileFailed;
  if (!mending.changes.empty()) {
    if (prepare_change(request.model_id, mending.changes) != 0) return kDataFileFailed;
    const int result = commit_prepared(request.model_id, mending.changes, kDataFileFailed);
    if (result != kDone) return result;
  }
  report = mending.report;
  return kDone;
}
