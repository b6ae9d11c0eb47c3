#include "ops/format_ops.h"

#include "ops/sibling.h"
#include "store/format_id.h"
#include "store/paths.h"
#include "store/records.h"
#include "store/rewrite.h"

namespace {

int update(const std::string& path, const LineRule& rule, const std::string& trailer = "") {
  return rewrite_data_file(path, rule, trailer) == 0 ? kDone : kDataFileFailed;
}

int look_up(const std::string& path, const std::string& label_name, std::string& key) {
  const int found = find_format_id(path, label_name, key);
  if (found < 0) return kDataFileFailed;
  return found == 1 ? kDone : kNotFound;
}

LineRule drop(const std::string& key) { return {RuleKind::kDropMatching, key, ""}; }

const LineRule kCopyAll{RuleKind::kCopy, "", ""};

}  // namespace

int add_label_format(FormatRequest request) {
  const std::string key = compose_format_id(request, read_clock());
  if (!run_sibling_tool(add_command_line(request, key))) return kSiblingFailed;
  request.work_path = function_file_path(request.model_id);
  const LineRule below_header{RuleKind::kInsertAfterMatching, kCustomTapeHeader,
                              function_entry(key, request)};
  if (update(request.work_path, below_header) != kDone) return kDataFileFailed;
  request.work_path = paper_table_path(request.model_id);
  if (update(request.work_path, kCopyAll, paper_table_entry(key, request)) != kDone) {
    return kDataFileFailed;
  }
  request.work_path = imaging_area_path(request.model_id);
  return update(request.work_path, kCopyAll, imaging_area_entry(key, request));
}

int delete_label_format(FormatRequest request) {
  if (!run_sibling_tool(delete_command_line(request))) return kSiblingFailed;
  std::string key;
  request.work_path = function_file_path(request.model_id);
  int result = look_up(request.work_path, request.label_name, key);
  if (result == kDone) result = update(request.work_path, drop(key));
  if (result != kDone) return result;
  // From here on the paper table's key counts, should the two files disagree.
  request.work_path = paper_table_path(request.model_id);
  result = look_up(request.work_path, request.label_name, key);
  if (result == kDone) result = update(request.work_path, drop(key));
  if (result != kDone) return result;
  request.work_path = settings_file_path(request.model_id);
  const LineRule reset_media{RuleKind::kReplaceMatching, key, default_media_line(request)};
  if (update(request.work_path, reset_media) != kDone) return kDataFileFailed;
  request.work_path = imaging_area_path(request.model_id);
  return update(request.work_path, drop(key));
}
