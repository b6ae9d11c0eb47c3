#include "ops/format_ops.h"

#include <algorithm>
#include <string>
#include <vector>

#include "formats/entries.h"
#include "formats/key.h"
#include "formats/layout.h"
#include "ops/sibling.h"

namespace {

std::vector<FileChange> untouched(const FileSet& set) {
  std::vector<FileChange> files;
  for (const std::string& path : set.files) files.push_back({path, {}, ""});
  return files;
}

// What the files lose once the sibling tool has deleted the name: every line of every
// format it stands under, and the current media when it was one of them.
std::vector<FileChange> dropping(const FormatRequest& request, const FileSet& set,
                                 const FoundFormat& found) {
  std::vector<FileChange> files = untouched(set);
  for (const std::string& key : found.keys) {
    for (const DataFile file : kEntryFiles) files[file].rules.push_back(drop_matching(key));
    files[kSettingsFile].rules.push_back(
        {RuleKind::kReplaceMatching, key, default_media_line(request)});
  }
  return changed_files(files);
}

// What the files gain once the sibling tool has added the format under key. A format that
// replaces others stays the current media where one of them was.
std::vector<FileChange> entering_all(const FormatRequest& request, const FileSet& set,
                                     const FoundFormat& found, const std::string& key) {
  std::vector<FileChange> files = untouched(set);
  for (const DataFile file : kEntryFiles) files[file] = entering(request, key, set, file);
  for (const std::string& old_key : found.keys) {
    files[kSettingsFile].rules.push_back({RuleKind::kReplaceText, old_key, key});
  }
  return changed_files(files);
}

bool every_step_done(const Change& change) {
  for (size_t i = 0; i < change.steps.size(); ++i) {
    if (!change.done[i] || !change.recorded[i]) return false;
  }
  return true;
}

// What the print system holds, after step took effect there, that the files will not.
Fault unrecorded(const Plan& plan, size_t step) {
  for (const PlannedFormat& planned : plan.formats) {
    if (step < planned.first_step || step > planned.last_step) continue;
    const std::string name = "'" + planned.change.format.label_name + "'";
    if (step == planned.last_step && planned.change.kind != ChangeKind::kDelete) {
      return {0, name,
              "added to the print system as " + planned.change.key + ", not to the data files"};
    }
    return {0, name,
            planned.first_step == planned.last_step
                ? "deleted from the print system, still in the data files"
                : "deleted from the print system, its new entry not made"};
  }
  return {0, "", "step " + std::to_string(step) + " took effect only in the print system"};
}

// Asks the sibling tool for each step in turn, recording each that succeeded before the
// next starts, and stops at the first it refuses or whose success cannot be recorded.
Fault ask_sibling_tool(const Plan& plan, Change& change, std::vector<Fault>& notes) {
  for (size_t i = 0; i < change.steps.size(); ++i) {
    if (change.done[i]) continue;
    const HeldSignals held = hold_stopping_signals();
    const Fault refused = run_sibling_tool(change.steps[i].action, held);
    const Fault unmarked = failed(refused) ? Fault{} : record_step_done(change, i);
    release_stopping_signals(held);
    if (failed(refused)) return refused;
    if (failed(unmarked)) {
      notes.push_back(unrecorded(plan, i));
      return unmarked;
    }
  }
  return {};
}

bool took_effect(const Change& change, size_t step) {
  return change.done[step] && change.recorded[step];
}

// A format whose delete went through but whose add was refused is gone, as a refused
// single add leaves it.
std::vector<FormatChange> changes_made(const Plan& plan, const Change& change, bool committed) {
  std::vector<FormatChange> changes;
  for (const PlannedFormat& planned : plan.formats) {
    changes.push_back(planned.change);
    FormatChange& made = changes.back();
    if (!committed) continue;
    made.made = took_effect(change, planned.last_step);
    if (made.made || planned.first_step == planned.last_step ||
        !took_effect(change, planned.first_step) ||
        !changes_files(change.steps[planned.first_step])) {
      continue;
    }
    made = {ChangeKind::kDelete, planned.change.format, "", planned.change.old_keys, true};
  }
  return changes;
}

}  // namespace

FileChange entering(const FormatRequest& format, const std::string& key, const FileSet& set,
                    DataFile file) {
  FileChange change{set.files[file], {}, ""};
  switch (file) {
    case kFunctionFile:
      change.rules.push_back({RuleKind::kInsertAfterMatching, kCustomTapeHeader,
                              function_entry(key, format),
                              std::string("has no ") + kCustomTapeHeader +
                                  " line, so no format can be entered there"});
      break;
    case kPaperTable:
      change.trailer = paper_table_entry(key, format);
      break;
    case kImagingArea:
      change.trailer = imaging_area_entry(key, format);
      break;
    case kSettingsFile:
    case kDataFileCount:
      break;
  }
  return change;
}

std::vector<FormatChange> planned_changes(const FormatRequest& format, const OnFile& on_file,
                                          bool adding) {
  const FoundFormat found = find_named(on_file, format.label_name);
  if (!adding && found.keys.empty()) return {};
  const ChangeKind kind = !adding              ? ChangeKind::kDelete
                          : found.keys.empty() ? ChangeKind::kAdd
                                               : ChangeKind::kReplace;
  return {{kind, format, "", found.keys, false}};
}

void plan_format(const FormatRequest& format, const OnFile& on_file, const std::string& key,
                 Plan& plan) {
  const FoundFormat found = find_named(on_file, format.label_name);
  PlannedFormat planned{planned_changes(format, on_file, !key.empty()).front(), 0, 0};
  planned.change.key = key;
  planned.first_step = plan.steps.size();
  plan.steps.push_back({delete_command(format), dropping(format, on_file.set, found)});
  if (!key.empty()) {
    plan.steps.push_back({add_command(format, key), entering_all(format, on_file.set, found, key)});
  }
  planned.last_step = plan.steps.size() - 1;
  plan.formats.push_back(planned);
}

Fault new_key(const FormatRequest& format, ClockReading now, KeyTimesByPrefix& taken,
              std::string& key) {
  const std::string prefix = key_prefix(format);
  KeyTimes& times = taken[prefix];
  const Fault fault = compose_unique_key(format, now, times, key);
  if (!failed(fault)) mark_key_time(key, prefix, times);
  return fault;
}

// The files follow what the sibling tool accepted: all of the change, or the steps before
// the one it refused.
Outcome make_change(const FileSet& set, const Plan& plan) {
  Change change = plan_change(set, plan.steps);
  Outcome outcome;
  outcome.changes = changes_made(plan, change, false);
  const Fault unprepared = prepare_change(change);
  if (failed(unprepared)) {
    outcome.status = Status::kFailed;
    outcome.fault = unprepared;
    return outcome;
  }
  const Fault stopped = ask_sibling_tool(plan, change, outcome.notes);
  const Fault uncommitted = commit_change(change);
  const bool committed = !failed(uncommitted) || change.record_stays;
  outcome.changes = changes_made(plan, change, committed);
  if (failed(uncommitted)) {
    if (failed(stopped)) outcome.notes.insert(outcome.notes.begin(), stopped);
    outcome.status = change.record_stays ? Status::kRecorded : Status::kFailed;
    outcome.fault = uncommitted;
  } else if (!every_step_done(change)) {
    outcome.status = Status::kFailed;
    outcome.fault = stopped;
  }
  return outcome;
}

Outcome add_label_format(FormatRequest request, const OnFile& on_file) {
  std::string key;
  KeyTimesByPrefix taken = held_key_times(on_file);
  const Fault fault = new_key(request, read_clock(), taken, key);
  if (failed(fault)) return failure(fault);
  Plan plan;
  plan_format(request, on_file, key, plan);
  return make_change(on_file.set, plan);
}

Outcome delete_label_format(FormatRequest request, const OnFile& on_file) {
  const FoundFormat found = find_named(on_file, request.label_name);
  if (found.keys.empty()) {
    const HeldSignals held = hold_stopping_signals();
    const Fault fault = run_sibling_tool(delete_command(request), held);
    release_stopping_signals(held);
    return failed(fault) ? failure(fault) : Outcome{Status::kNotFound, {}, {}, "", {}};
  }
  Plan plan;
  plan_format(request, on_file, "", plan);
  Outcome outcome = make_change(on_file.set, plan);
  if (outcome.status == Status::kDone && !found.in_paper_table) outcome.status = Status::kNotFound;
  return outcome;
}
