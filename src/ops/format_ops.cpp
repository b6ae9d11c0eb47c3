#include "ops/format_ops.h"

#include <algorithm>
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

// What the files lose once the sibling tool has deleted the name.
std::vector<FileChange> dropping(const FormatRequest& request, const FileSet& set,
                                 const FoundFormat& found) {
  if (!is_on_file(found)) return {};
  // Beyond the function file the paper table's key counts, should the two files disagree.
  std::vector<FileChange> files{
      {set.files[kFunctionFile],
       {drop_matching(found.function_key.empty() ? found.paper_key : found.function_key)},
       ""}};
  if (found.paper_key.empty()) return files;
  files.push_back({set.files[kPaperTable], {drop_matching(found.paper_key)}, ""});
  files.push_back({set.files[kSettingsFile],
                   {{RuleKind::kReplaceMatching, found.paper_key, default_media_line(request)}},
                   ""});
  files.push_back({set.files[kImagingArea], {drop_matching(found.paper_key)}, ""});
  return files;
}

// What the files gain once the sibling tool has added the format under key.
std::vector<FileChange> entering(const FormatRequest& request, const FileSet& set,
                                 const std::string& key) {
  return {{set.files[kFunctionFile],
           {{RuleKind::kInsertAfterMatching, kCustomTapeHeader, function_entry(key, request)}},
           ""},
          {set.files[kPaperTable], {}, paper_table_entry(key, request)},
          {set.files[kImagingArea], {}, imaging_area_entry(key, request)}};
}

// The sibling tool's calls in the order they are made, each with what the files gain and
// lose once it succeeded: the name's delete, then, with a key, the new format's add.
std::vector<ChangeStep> steps_for(const FormatRequest& request, const FileSet& set,
                                  const FoundFormat& found, const std::string& key) {
  std::vector<ChangeStep> steps{{delete_command_line(request), dropping(request, set, found)}};
  if (!key.empty()) steps.push_back({add_command_line(request, key), entering(request, set, key)});
  return steps;
}

bool every_step_done(const Change& change) {
  return std::find(change.done.begin(), change.done.end(), false) == change.done.end();
}

// Asks the sibling tool for each step in turn, recording each that succeeded before the
// next starts, and stops at the first it refuses or that cannot be recorded.
Fault ask_sibling_tool(const FormatRequest& request, Change& change, bool& refused) {
  for (size_t i = 0; i < change.steps.size(); ++i) {
    if (change.done[i]) continue;
    Fault fault = run_sibling_tool(request, change.steps[i].action);
    refused = failed(fault);
    if (!refused) fault = record_step_done(change, i);
    if (failed(fault)) return fault;
  }
  return {};
}

}  // namespace

// The files follow what the sibling tool accepted: all of the change, or the steps before
// the one it refused. fault keeps the refusal unless the files fail too.
int make_change(const FormatRequest& request, Change& change, int not_prepared, Fault& fault) {
  fault = prepare_change(change);
  if (failed(fault)) return not_prepared;
  bool refused = false;
  const Fault stopped = ask_sibling_tool(request, change, refused);
  Fault failure;
  switch (commit_change(change, failure)) {
    case ChangeResult::kNotInstalled:
      fault = failure;
      return kInstallFailed;
    case ChangeResult::kNotPrepared:
      fault = failure;
      return not_prepared;
    case ChangeResult::kInstalled:
      break;
  }
  if (every_step_done(change)) return kDone;
  fault = stopped;
  return refused ? kSiblingFailed : kDataFileFailed;
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
  Change change = plan_change(set, steps_for(request, set, found, key));
  return make_change(request, change, failure, fault);
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
  Change change = plan_change(set, steps_for(request, set, found, ""));
  const int result = make_change(request, change, kDataFileFailed, fault);
  if (result != kDone) return result;
  return found.paper_key.empty() ? kNotFound : kDone;
}
