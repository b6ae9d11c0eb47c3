#include "ops/format_ops.h"

#include <cerrno>
#include <string>
#include <vector>

#include "ops/sibling.h"
#include "store/format_id.h"
#include "store/paths.h"
#include "store/records.h"
#include "store/sys_io.h"
#include "store/transaction.h"

namespace {

// Where the look-ups found a name, and under which keys.
struct FoundFormat {
  bool in_function = false;
  bool in_paper = false;
  std::string function_key;
  std::string paper_key;
};

bool is_on_file(const FoundFormat& found) { return found.in_function || found.in_paper; }

// With taken, the look-ups also mark the times of the keys that the new format's key could
// collide with, so that composing it reads no file again.
bool look_up(const FormatRequest& request, FoundFormat& found, std::vector<bool>* taken) {
  const std::string prefix = taken == nullptr ? "" : format_id_prefix(request);
  const int in_function = find_format_id(function_file_path(request.model_id), request.label_name,
                                         found.function_key, prefix, taken);
  const int in_paper = in_function < 0
                           ? -1
                           : find_format_id(paper_table_path(request.model_id), request.label_name,
                                            found.paper_key, prefix, taken);
  found.in_function = in_function == 1;
  found.in_paper = in_paper == 1;
  return in_paper >= 0;
}

void drop_format(const FormatRequest& request, const FoundFormat& found,
                 std::vector<FileChange>& files) {
  if (!is_on_file(found)) return;
  // Beyond the function file the paper table's key counts, should the two files disagree.
  files[kFunctionFile].rules.push_back(
      drop_matching(found.in_function ? found.function_key : found.paper_key));
  if (!found.in_paper) return;
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
std::vector<FileChange> change_for(const FormatRequest& request, const FoundFormat& found,
                                   const std::string& key) {
  std::vector<FileChange> files;
  for (const std::string& path : data_file_paths(request.model_id)) files.push_back({path, {}, ""});
  drop_format(request, found, files);
  if (!key.empty()) enter_format(request, key, files);
  std::vector<FileChange> changes;
  for (FileChange& file : files) {
    if (!file.rules.empty() || !file.trailer.empty()) changes.push_back(std::move(file));
  }
  return changes;
}

// The print system has deleted the old format but refused the new one: the files follow
// it, so that both hold neither.
int drop_after_refused_add(const FormatRequest& request, const FoundFormat& found) {
  if (!is_on_file(found)) return kSiblingFailed;
  const std::vector<FileChange> changes = change_for(request, found, "");
  if (prepare_change(request.model_id, changes) != 0) return kDataFileFailed;
  const int result = commit_prepared(request.model_id, changes, kDataFileFailed);
  return result == kDone ? kSiblingFailed : result;
}

}  // namespace

int commit_prepared(const std::string& model_id, const std::vector<FileChange>& changes,
                    int not_prepared) {
  switch (commit_change(model_id, changes)) {
    case ChangeResult::kInstalled:
      return kDone;
    case ChangeResult::kNotPrepared:
      return not_prepared;
    default:
      return kInstallFailed;
  }
}

int add_label_format(FormatRequest request) {
  FoundFormat found;
  std::vector<bool> taken = no_key_times();
  if (!look_up(request, found, &taken)) return kDataFileFailed;
  const int failed = is_on_file(found) ? kDataFileFailed : kEntryFailed;
  std::string key;
  if (compose_unique_format_id(request, read_clock(), taken, key) != 0) {
    io_fail(EEXIST, function_file_path(request.model_id));
    return failed;
  }
  const std::vector<FileChange> changes = change_for(request, found, key);
  if (prepare_change(request.model_id, changes) != 0) return failed;
  if (!run_sibling_tool(delete_command_line(request))) {
    discard_change(request.model_id, changes);
    return kSiblingFailed;
  }
  if (!run_sibling_tool(add_command_line(request, key))) {
    discard_change(request.model_id, changes);
    return drop_after_refused_add(request, found);
  }
  return commit_prepared(request.model_id, changes, failed);
}

int delete_label_format(FormatRequest request) {
  FoundFormat found;
  if (!look_up(request, found, nullptr)) return kDataFileFailed;
  if (!is_on_file(found)) {
    return run_sibling_tool(delete_command_line(request)) ? kNotFound : kSiblingFailed;
  }
  const std::vector<FileChange> changes = change_for(request, found, "");
  if (prepare_change(request.model_id, changes) != 0) return kDataFileFailed;
  if (!run_sibling_tool(delete_command_line(request))) {
    discard_change(request.model_id, changes);
    return kSiblingFailed;
  }
  const int result = commit_prepared(request.model_id, changes, kDataFileFailed);
  if (result != kDone) return result;
  return found.in_paper ? kDone : kNotFound;
}
