#include "ops/format_catalogue.h"

#include <cerrno>
#include <unordered_map>
#include <unordered_set>

#include "formats/entries.h"
#include "formats/entry_walk.h"
#include "formats/key.h"
#include "formats/layout.h"
#include "ops/format_list.h"
#include "ops/format_ops.h"

namespace {

// What the data files hold, read once for a whole catalogue.
struct OnFile {
  std::vector<std::string> names;                        // each once, in --list's order
  std::unordered_map<std::string, FoundFormat> found;    // by name
  std::unordered_map<std::string, FormatEntry> paper;    // by key: its first paper entry
  std::unordered_set<std::string> in_function;           // keys with a function entry
  std::unordered_map<std::string, std::string> imaging;  // by key: what follows it
  std::vector<std::string> keys;                         // for new keys to stay clear of
};

void note_entry(const FormatEntry& entry, bool from_paper, OnFile& on_file) {
  FoundFormat& found = on_file.found[entry.name];
  add_key_once(entry.key, found.keys);
  on_file.keys.push_back(entry.key);
  if (!from_paper) {
    on_file.in_function.insert(entry.key);
    return;
  }
  found.in_paper_table = true;
  on_file.paper.emplace(entry.key, entry);
}

Fault read_on_file(const FileSet& set, OnFile& on_file) {
  std::vector<FormatEntry> paper;
  std::vector<FormatEntry> function;
  std::vector<FormatEntry> imaging;
  Fault fault = read_format_entries(set.files[kPaperTable], paper);
  if (!failed(fault)) fault = read_format_entries(set.files[kFunctionFile], function);
  if (!failed(fault)) fault = read_key_lines(set.files[kImagingArea], imaging);
  if (failed(fault)) return fault;
  // The function file's keys first, as look_up finds them.
  for (const FormatEntry& entry : function) note_entry(entry, false, on_file);
  for (const FormatEntry& entry : paper) note_entry(entry, true, on_file);
  std::unordered_set<std::string> listed;
  for (const auto* entries : {&paper, &function}) {
    for (const FormatEntry& entry : *entries) {
      if (listed.insert(entry.name).second) on_file.names.push_back(entry.name);
    }
  }
  for (const FormatEntry& line : imaging) on_file.imaging.emplace(line.key, line.rest);
  return {};
}

bool is_whole(const OnFile& on_file, const std::string& key) {
  return on_file.in_function.count(key) != 0 && on_file.paper.count(key) != 0 &&
         on_file.imaging.count(key) != 0;
}

// The one format of the name, whole, already has the numbers that format would give it.
bool is_unchanged(const FormatRequest& format, const OnFile& on_file) {
  const auto found = on_file.found.find(format.label_name);
  if (found == on_file.found.end() || found->second.keys.size() != 1) return false;
  const std::string& key = found->second.keys.front();
  if (!is_whole(on_file, key)) return false;
  return key + "/" + format.label_name + on_file.paper.at(key).rest + "\n" ==
             paper_table_entry(key, format) &&
         key + on_file.imaging.at(key) + "\n" == imaging_area_entry(key, format);
}

std::string delete_line(const std::string& name) { return "delete\t" + escaped_name(name) + "\n"; }

std::string change_line(const std::string& kind, const FormatRequest& format) {
  if (kind == "delete") return delete_line(format.label_name);
  return kind + "\t" + escaped_name(format.label_name) + "\t" + std::to_string(format.width_mm) +
         "\t" + std::to_string(format.length_mm) + "\n";
}

// A key that no line of the two files holds, nor any key the change gives out before.
bool new_key(const FormatRequest& format, ClockReading now, const std::vector<std::string>& keys,
             std::string& key) {
  KeyTimes taken = no_key_times();
  const std::string prefix = key_prefix(format);
  for (const std::string& held : keys) mark_key_time(held, prefix, taken);
  return compose_unique_key(format, now, taken, key);
}

// The change a catalogue makes: its steps, and for each format that changes, its line and
// the step after which the print system holds it.
struct Plan {
  std::vector<ChangeStep> steps;
  std::vector<std::string> lines;
  std::vector<std::string> names;
  std::vector<size_t> first_steps;
  std::vector<size_t> last_steps;
};

void add_to_plan(std::vector<ChangeStep> steps, const std::string& line, const std::string& name,
                 Plan& plan) {
  plan.first_steps.push_back(plan.steps.size());
  for (ChangeStep& step : steps) plan.steps.push_back(std::move(step));
  plan.lines.push_back(line);
  plan.names.push_back(name);
  plan.last_steps.push_back(plan.steps.size() - 1);
}

// A format whose delete went through but whose add was refused is gone, as a refused
// single add leaves it; its line says so.
std::string line_of_done(const Plan& plan, const Change& change, size_t format) {
  if (change.done[plan.last_steps[format]]) return plan.lines[format];
  const ChangeStep& drop = change.steps[plan.first_steps[format]];
  if (!change.done[plan.first_steps[format]] || !changes_files(drop)) return "";
  return delete_line(plan.names[format]);
}

Fault plan_catalogue(const FormatRequest& request, const FileSet& set,
                     const std::vector<FormatRequest>& formats, OnFile& on_file, Plan& plan) {
  const ClockReading now = read_clock();
  std::unordered_set<std::string> named;
  for (const FormatRequest& format : formats) {
    named.insert(format.label_name);
    if (is_unchanged(format, on_file)) continue;
    const FoundFormat found = on_file.found[format.label_name];
    std::string key;
    if (!new_key(format, now, on_file.keys, key)) return {EEXIST, set.files[kFunctionFile], ""};
    on_file.keys.push_back(key);
    add_to_plan(steps_for(format, set, found, key),
                change_line(found.keys.empty() ? "add" : "replace", format), format.label_name,
                plan);
  }
  for (const std::string& name : request.prune ? on_file.names : std::vector<std::string>{}) {
    if (named.count(name) != 0) continue;
    FormatRequest gone = request;
    gone.label_name = name;
    add_to_plan(steps_for(gone, set, on_file.found[name], ""), change_line("delete", gone), name,
                plan);
  }
  return {};
}

}  // namespace

Outcome export_label_formats(FormatRequest request) {
  OnFile on_file;
  const Fault unread = read_on_file(model_files(request.model_id), on_file);
  if (failed(unread)) return failure(Result::kDataFileFailed, unread);
  Outcome outcome;
  for (const std::string& name : on_file.names) {
    const std::vector<std::string>& keys = on_file.found.at(name).keys;
    Fault fault{0, "format '" + escaped_name(name) + "'", ""};
    if (keys.size() > 1) fault.why = "the name of " + std::to_string(keys.size()) + " formats";
    if (name.find('\t') != std::string::npos) fault.why = "a tab in the name";
    if (fault.why.empty() && !is_whole(on_file, keys.front())) fault.why = "not whole";
    int64_t width = 0;
    int64_t length = 0;
    if (fault.why.empty()) {
      const FormatEntry& entry = on_file.paper.at(keys.front());
      if (!entry_size(request, entry, width, length) || !width_to_ask(request, entry, width)) {
        fault.why = "its size cannot be read";
      }
    }
    if (failed(fault)) {
      fault.why += ", which a catalogue cannot hold (see --check)";
      return failure(Result::kDataFileFailed, fault);
    }
    outcome.output += name + "\t" + std::to_string(width) + "\t" + std::to_string(length) + "\n";
  }
  return outcome;
}

Outcome apply_catalogue(FormatRequest request, const std::vector<FormatRequest>& formats) {
  const FileSet set = model_files(request.model_id);
  OnFile on_file;
  Plan plan;
  Fault fault = read_on_file(set, on_file);
  if (!failed(fault)) fault = plan_catalogue(request, set, formats, on_file, plan);
  if (failed(fault)) return failure(Result::kDataFileFailed, fault);
  if (request.dry_run || plan.steps.empty()) {
    Outcome preview;
    for (const std::string& line : plan.lines) preview.output += line;
    return preview;
  }
  Change change = plan_change(set, plan.steps);
  Outcome outcome = make_change(request, change, Result::kDataFileFailed);
  for (size_t i = 0; i < plan.lines.size() && outcome.result != Result::kInstallFailed; ++i) {
    outcome.output += line_of_done(plan, change, i);
    if (!change.done[plan.last_steps[i]] && outcome.result == Result::kSiblingFailed) {
      // The first format whose calls did not all succeed is the one the refusal was about.
      outcome.fault.subject =
          "format '" + escaped_name(plan.names[i]) + "': " + outcome.fault.subject;
      break;
    }
  }
  return outcome;
}

Outcome preview_add(FormatRequest request) {
  FoundFormat found;
  const Fault fault = look_up(request, model_files(request.model_id), found, nullptr);
  if (failed(fault)) return failure(Result::kDataFileFailed, fault);
  return {Result::kDone, {}, change_line(found.keys.empty() ? "add" : "replace", request)};
}

Outcome preview_delete(FormatRequest request) {
  FoundFormat found;
  const Fault fault = look_up(request, model_files(request.model_id), found, nullptr);
  if (failed(fault)) return failure(Result::kDataFileFailed, fault);
  return {Result::kDone, {}, found.keys.empty() ? "" : change_line("delete", request)};
}
