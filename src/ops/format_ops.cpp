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

bool is_on_file(const FoundFormat& found) { return !found.keys.empty(); }

}  // namespace

Fault look_up(const FormatRequest& request, const FileSet& set, FoundFormat& found,
              KeyTimes* taken) {
  const std::string prefix = taken == nullptr ? "" : key_prefix(request);
  Fault fault =
      find_keys_named(set.files[kFunctionFile], request.label_name, found.keys, prefix, taken);
  if (failed(fault)) return fault;
  std::vector<std::string> paper_keys;
  fault = find_keys_named(set.files[kPaperTable], request.label_name, paper_keys, prefix, taken);
  found.in_paper_table = !paper_keys.empty();
  for (const std::string& key : paper_keys) add_key_once(key, found.keys);
  return fault;
}

namespace {

// What the files lose once the sibling tool has deleted the name: every line of every
// format it stands under, and the current media when it was one of them.
std::vector<FileChange> dropping(const FormatRequest& request, const FileSet& set,
                                 const FoundFormat& found) {
  std::vector<FileChange> files;
  for (const std::string& path : set.files) files.push_back({path, {}, ""});
  for (const std::string& key : found.keys) {
    files[kFunctionFile].rules.push_back(drop_matching(key));
    files[kPaperTable].rules.push_back(drop_matching(key));
    files[kSettingsFile].rules.push_back(
        {RuleKind::kReplaceMatching, key, default_media_line(request)});
    files[kImagingArea].rules.push_back(drop_matching(key));
  }
  return changed_files(files);
}

// What the files gain once the sibling tool has added the format under key. A format that
// replaces others stays the current media where one of them was.
std::vector<FileChange> entering(const FormatRequest& request, const FileSet& set,
                                 const FoundFormat& found, const std::string& key) {
  std::vector<FileChange> files;
  for (const std::string& path : set.files) files.push_back({path, {}, ""});
  files[kFunctionFile].rules.push_back(
      {RuleKind::kInsertAfterMatching, kCustomTapeHeader, function_entry(key, request),
       std::string("has no ") + kCustomTapeHeader + " line, so no format can be entered there"});
  files[kPaperTable].trailer = paper_table_entry(key, request);
  files[kImagingArea].trailer = imaging_area_entry(key, request);
  for (const std::string& old_key : found.keys) {
    files[kSettingsFile].rules.push_back({RuleKind::kReplaceText, old_key, key});
  }
  return changed_files(files);
}

}  // namespace

std::vector<ChangeStep> steps_for(const FormatRequest& request, const FileSet& set,
                                  const FoundFormat& found, const std::string& key) {
  std::vector<ChangeStep> steps{{delete_command_line(request), dropping(request, set, found)}};
  if (!key.empty()) {
    steps.push_back({add_command_line(request, key), entering(request, set, found, key)});
  }
  return steps;
}

namespace {

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
// the one it refused. The outcome keeps the refusal unless the files fail too.
Outcome make_change(const FormatRequest& request, Change& change, Result not_prepared) {
  const Fault unprepared = prepare_change(change);
  if (failed(unprepared)) return failure(not_prepared, unprepared);
  bool refused = false;
  const Fault stopped = ask_sibling_tool(request, change, refused);
  Fault fault;
  switch (commit_change(change, fault)) {
    case ChangeResult::kNotInstalled:
      return failure(Result::kInstallFailed, fault);
    case ChangeResult::kNotPrepared:
      return failure(not_prepared, fault);
    case ChangeResult::kInstalled:
      break;
  }
  if (every_step_done(change)) return {};
  return failure(refused ? Result::kSiblingFailed : Result::kDataFileFailed, stopped);
}

Outcome add_label_format(FormatRequest request) {
  const FileSet set = model_files(request.model_id);
  FoundFormat found;
  KeyTimes taken = no_key_times();
  const Fault fault = look_up(request, set, found, &taken);
  if (failed(fault)) return failure(Result::kDataFileFailed, fault);
  const Result not_prepared = is_on_file(found) ? Result::kDataFileFailed : Result::kEntryFailed;
  std::string key;
  if (!compose_unique_key(request, read_clock(), taken, key)) {
    return failure(not_prepared, {EEXIST, set.files[kFunctionFile], ""});
  }
  Change change = plan_change(set, steps_for(request, set, found, key));
  return make_change(request, change, not_prepared);
}

Outcome delete_label_format(FormatRequest request) {
  const FileSet set = model_files(request.model_id);
  FoundFormat found;
  Fault fault = look_up(request, set, found, nullptr);
  if (failed(fault)) return failure(Result::kDataFileFailed, fault);
  if (!is_on_file(found)) {
    fault = run_sibling_tool(request, delete_command_line(request));
    return failed(fault) ? failure(Result::kSiblingFailed, fault)
                         : Outcome{Result::kNotFound, {}, ""};
  }
  Change change = plan_change(set, steps_for(request, set, found, ""));
  Outcome outcome = make_change(request, change, Result::kDataFileFailed);
  if (outcome.result == Result::kDone && !found.in_paper_table) outcome.result = Result::kNotFound;
  return outcome;
}
