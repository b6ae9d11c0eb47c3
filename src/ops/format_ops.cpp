#include "ops/format_ops.h"

#include <cerrno>
#include <string>
#include <vector>

#include "formats/entries.h"
#include "formats/entry_walk.h"
#include "formats/key.h"
#include "formats/layout.h"
#include "ops/sibling.h"

namespace {

// Where the look-ups found a name, and under which keys; an empty key: not there.
struct FoundFormat {
  std::string function_key;
  std::string paper_key;
};

bool is_on_file(const FoundFormat& found) {
  return !found.function_key.empty() || !found.paper_key.empty();
}

// With taken, the look-ups also mark the times of the keys that the new format's key could
// collide with, so that composing it reads no file again.
Fault look_up(const FormatRequest& request, const FileSet& set, FoundFormat& found,
              KeyTimes* taken) {
  const std::string prefix = taken == nullptr ? "" : format_id_prefix(request);
  const Fault fault = find_format_id(set.files[kFunctionFile], request.label_name,
                                     found.function_key, prefix, taken);
  if (failed(fault)) return fault;
  return find_format_id(set.files[kPaperTable], request.label_name, found.paper_key, prefix, taken);
}

void drop_format(const FormatRequest& request, const FoundFormat& found,
                 std::vector<FileChange>& files) {
  if (!is_on_file(found)) return;
  // Beyond the function file the paper table's key counts, should the two files disagree.
  files[kFunctionFile].rules.push_back(
      drop_matching(found.function_key.empty() ? found.paper_key : found.function_key));
  if (found.paper_key.empty()) return;
  files[kPaperTable].rules.push_back(drop_matching(found.paper_key));
  files[kSettingsFile].rules.push_back(
      {RuleKind::kReplaceMatching, found.paper_key, default_media_line(request)});
  files[kImagingArea].rules.push_back(drop_matching(found.paper_key));
}

void enter_format(const FormatRequest& request, const std::string& key,
                  std::vector<FileChange>& files) {
  files[kFunctionFile].rules.push_back(
      {RuleKind::kInsertAfterMatching, kCustomTapeHeader, function_entry(key, request)});
  files[kPaperTable].trailer = paper_table_entry(key, request);
  files[kImagingArea].trailer = imaging_area_entry(key, request);
}

// One change to every data file that the found format's lines or the new key's entries
// touch (no key: nothing is entered), in the order the files are installed.
std::vector<FileChange> change_for(const FormatRequest& request, const FileSet& set,
                                   const FoundFormat& found, const std::string& key) {
  std::vector<FileChange> files;
  for (const std::string& path : set.files) files.push_back({path, {}, ""});
  drop_format(request, found, files);
  if (!key.empty()) enter_format(request, key, files);
  std::vector<FileChange> changes;
  for (FileChange& file : files) {
    if (!file.rules.empty() || !file.trailer.empty()) changes.push_back(std::move(file));
  }
  return changes;
}

int commit_prepared(const FileSet& set, const std::vector<FileChange>& changes, int not_prepared,
                    Fault& fault) {
  switch (commit_change(set, changes, fault)) {
    case ChangeResult::kInstalled:
      return kDone;
    case ChangeResult::kNotPrepared:
      return not_prepared;
    default:
      return kInstallFailed;
  }
}

// The print system has deleted the old format but refused the new one: the files follow
// it, so that both hold neither. fault keeps the sibling tool's refusal unless the files
// fail too.
int drop_after_refused_add(const FormatRequest& request, const FileSet& set,
                           const FoundFormat& found, Fault& fault) {
  if (!is_on_file(found)) return kSiblingFailed;
  const int result = make_change(set, change_for(request, set, found, ""), fault);
  return result == kDone ? kSiblingFailed : result;
}

// Asks the sibling tool to delete the name; when it refuses, the prepared copies go, so
// that the files keep what the print system still holds.
bool sibling_deletes(const FormatRequest& request, const FileSet& set,
                     const std::vector<FileChange>& changes, Fault& fault) {
  fault = run_sibling_tool(request, delete_command_line(request));
  if (!failed(fault)) return true;
  discard_change(set, changes);
  return false;
}

}  // namespace

int make_change(const FileSet& set, const std::vector<FileChange>& changes, Fault& fault) {
  Fault failure = prepare_change(set, changes);
  const int result =
      failed(failure) ? kDataFileFailed : commit_prepared(set, changes, kDataFileFailed, failure);
  if (result != kDone) fault = failure;
  return result;
}

int add_label_format(FormatRequest request, Fault& fault) {
  const FileSet set = model_files(request.model_id);
  FoundFormat found;
  KeyTimes taken = no_key_times();
  fault = look_up(request, set, found, &taken);
  if (failed(fault)) return kDataFileFailed;
  const int failure = is_on_file(found) ? kDataFileFailed : kEntryFailed;
  std::string key;
  if (!compose_unique_format_id(request, read_clock(), taken, key)) {
    fault = {EEXIST, set.files[kFunctionFile], ""};
    return failure;
  }
  const std::vector<FileChange> changes = change_for(request, set, found, key);
  fault = prepare_change(set, changes);
  if (failed(fault)) return failure;
  if (!sibling_deletes(request, set, changes, fault)) return kSiblingFailed;
  fault = run_sibling_tool(request, add_command_line(request, key));
  if (failed(fault)) {
    discard_change(set, changes);
    return drop_after_refused_add(request, set, found, fault);
  }
  return commit_prepared(set, changes, failure, fault);
}

int delete_label_format(FormatRequest request, Fault& fault) {
  const FileSet set = model_files(request.model_id);
  FoundFormat found;
  fault = look_up(request, set, found, nullptr);
  if (failed(fault)) return kDataFileFailed;
  if (!is_on_file(found)) {
    fault = run_sibling_tool(request, delete_command_line(request));
    return failed(fault) ? kSiblingFailed : kNotFound;
  }
  const std::vector<FileChange> changes = change_for(request, set, found, "");
  fault = prepare_change(set, changes);
  if (failed(fault)) return kDataFileFailed;
  if (!sibling_deletes(request, set, changes, fault)) return kSiblingFailed;
  const int result = commit_prepared(set, changes, kDataFileFailed, fault);
  if (result != kDone) return result;
  return found.paper_key.empty() ? kNotFound : kDone;
}
