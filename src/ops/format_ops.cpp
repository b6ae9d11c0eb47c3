#include "ops/format_ops.h"

#include <string>
#include <vector>

#include "ops/sibling.h"
#include "store/format_id.h"
#include "store/paths.h"
#include "store/records.h"
#include "store/transaction.h"

namespace {

// The add that follows a delete of the same name reuses what the look-up saw of the key
// times its key can take.
int look_up(const std::string& path, const FormatRequest& request, std::string& key) {
  const int found = find_format_id(path, request.label_name, key, format_id_prefix(request));
  if (found < 0) return kDataFileFailed;
  return found == 1 ? kDone : kNotFound;
}

int change_all(const FormatRequest& request, const std::vector<FileChange>& changes) {
  switch (change_data_files(request.model_id, changes)) {
    case ChangeResult::kInstalled:
      return kDone;
    case ChangeResult::kNotPrepared:
      return kDataFileFailed;
    default:
      return kInstallFailed;
  }
}

LineRule drop(const std::string& key) { return {RuleKind::kDropMatching, key, ""}; }

const LineRule kCopyAll{RuleKind::kCopy, "", ""};

}  // namespace

int add_label_format(FormatRequest request) {
  std::string key;
  const std::vector<std::string> keyed_files{function_file_path(request.model_id),
                                             paper_table_path(request.model_id)};
  if (compose_unique_format_id(request, read_clock(), keyed_files, key) != 0) {
    return kDataFileFailed;
  }
  if (!run_sibling_tool(add_command_line(request, key))) return kSiblingFailed;
  const LineRule below_header{RuleKind::kInsertAfterMatching, kCustomTapeHeader,
                              function_entry(key, request)};
  return change_all(
      request, {{function_file_path(request.model_id), below_header, ""},
                {paper_table_path(request.model_id), kCopyAll, paper_table_entry(key, request)},
                {imaging_area_path(request.model_id), kCopyAll, imaging_area_entry(key, request)}});
}

int delete_label_format(FormatRequest request) {
  if (!run_sibling_tool(delete_command_line(request))) return kSiblingFailed;
  std::string function_key;
  std::string paper_key;
  request.work_path = function_file_path(request.model_id);
  const int in_function = look_up(request.work_path, request, function_key);
  if (in_function == kDataFileFailed) return kDataFileFailed;
  request.work_path = paper_table_path(request.model_id);
  const int in_paper = look_up(request.work_path, request, paper_key);
  if (in_paper == kDataFileFailed) return kDataFileFailed;
  if (in_function != kDone && in_paper != kDone) return kNotFound;
  // Beyond the function file the paper table's key counts, should the two files disagree.
  std::vector<FileChange> changes{{function_file_path(request.model_id),
                                   drop(in_function == kDone ? function_key : paper_key), ""}};
  if (in_paper == kDone) {
    const LineRule reset_media{RuleKind::kReplaceMatching, paper_key, default_media_line(request)};
    changes.push_back({paper_table_path(request.model_id), drop(paper_key), ""});
    changes.push_back({settings_file_path(request.model_id), reset_media, ""});
    changes.push_back({imaging_area_path(request.model_id), drop(paper_key), ""});
  }
  const int result = change_all(request, changes);
  if (result != kDone) return result;
  return in_paper == kDone ? kDone : kNotFound;
}
