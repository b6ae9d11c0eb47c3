#include "ops/format_catalogue.h"

#include <algorithm>
#include <unordered_set>

#include "formats/entries.h"
#include "formats/key.h"
#include "formats/layout.h"
#include "ops/format_list.h"
#include "ops/format_ops.h"

namespace {

// Why the format of the name cannot stand in a catalogue; no fault when it can.
Fault unexportable(const OnFile& on_file, const std::string& name) {
  const std::vector<std::string> keys = find_named(on_file, name).keys;
  const FormatOnFile& format = *format_of(on_file, keys.front());
  const std::string cannot = ", which a catalogue cannot hold";
  std::string why;
  if (keys.size() > 1) {
    why = "the name of " + std::to_string(keys.size()) + " formats" + cannot;
  } else if (name.find('\t') != std::string::npos) {
    why = "a tab in the name" + cannot;
  } else if (name[std::min(name.find_first_not_of(" \t"), name.size() - 1)] == '#') {
    why = "a name that a catalogue reads as a comment";
  } else if (!is_whole(format)) {
    why = "not whole" + cannot + " (see --check)";
  } else if (!width_fits_records(format.request)) {
    why = "a tube wider than 255 mm, whose width the data files do not hold whole" + cannot;
  } else if (failed(catalogue_refusal(format.request))) {
    why = reason(catalogue_refusal(format.request)) + cannot;
  }
  if (why.empty()) return {};
  return {0, "format '" + escaped_name(name) + "'", why};
}

// The one format of the name, whole, already has the key fields and entries that format
// would give it: a width that only the key tells (a tube wider than any tape) counts too.
bool is_unchanged(const FormatRequest& format, const OnFile& on_file) {
  const std::vector<std::string> keys = find_named(on_file, format.label_name).keys;
  if (keys.size() != 1) return false;
  const FormatOnFile& held = *format_of(on_file, keys.front());
  FormatOnFile asked = held;
  asked.request = format;
  return is_whole(held) && key_prefix(format) == held.key.substr(0, kTimeField.at) &&
         expected_entry(asked, kPaperTable) == expected_entry(held, kPaperTable) &&
         expected_entry(asked, kImagingArea) == expected_entry(held, kImagingArea);
}

Fault plan_catalogue(const FormatRequest& request, const std::vector<FormatRequest>& formats,
                     const OnFile& on_file, Plan& plan) {
  const ClockReading now = read_clock();
  std::unordered_set<std::string> named;
  KeyTimesByPrefix taken = held_key_times(on_file);
  // Each key of the same fields would be the first free time from now, which every key
  // before it took: the search goes on after the last one instead of passing them all.
  std::unordered_map<std::string, ClockReading> resume;
  for (const FormatRequest& format : formats) {
    named.insert(format.label_name);
    if (is_unchanged(format, on_file)) continue;
    std::string key;
    const std::string prefix = key_prefix(format);
    const auto resumed = resume.find(prefix);
    const Fault fault =
        new_key(format, resumed == resume.end() ? now : resumed->second, taken, key);
    if (failed(fault)) return fault;
    resume[prefix] = time_after(key);
    plan_format(format, on_file, key, plan);
  }
  for (const FormatOnFile& held : on_file.formats) {
    if (!request.prune || held.name.empty() || !named.insert(held.name).second) continue;
    FormatRequest gone = request;
    gone.label_name = held.name;
    plan_format(gone, on_file, "", plan);
  }
  return {};
}

bool as_planned(const FormatChange& change, const PlannedFormat& planned) {
  return change.made && change.kind == planned.change.kind;
}

// A catalogue's change is made as one, or only told with request.dry_run.
Outcome run_plan(const FormatRequest& request, const Plan& plan, const OnFile& on_file) {
  if (request.dry_run || plan.steps.empty()) {
    Outcome preview;
    for (const PlannedFormat& planned : plan.formats) preview.changes.push_back(planned.change);
    return preview;
  }
  Outcome outcome = make_change(on_file.set, plan);
  if (outcome.fault.subject != sibling_tool_path(request.model_id)) return outcome;
  // The first format whose calls did not all succeed is the one the refusal was about.
  for (size_t i = 0; i < plan.formats.size(); ++i) {
    if (as_planned(outcome.changes[i], plan.formats[i])) continue;
    outcome.fault.subject = "format '" + escaped_name(plan.formats[i].change.format.label_name) +
                            "': " + outcome.fault.subject;
    break;
  }
  return outcome;
}

}  // namespace

Outcome export_label_formats(const OnFile& on_file) {
  Outcome outcome;
  std::unordered_set<std::string> listed;
  for (const FormatOnFile& format : on_file.formats) {
    if (format.name.empty() || !listed.insert(format.name).second) continue;
    const Fault fault = unexportable(on_file, format.name);
    if (failed(fault)) return failure(fault);
    const FormatOnFile& whole = *format_of(on_file, find_named(on_file, format.name).keys.front());
    outcome.output += format.name + "\t" + std::to_string(width_to_ask(whole.request)) + "\t" +
                      std::to_string(whole.request.length_mm) + "\n";
  }
  return outcome;
}

Outcome apply_catalogue(FormatRequest request, const std::vector<FormatRequest>& formats,
                        const OnFile& on_file) {
  Plan plan;
  const Fault fault = plan_catalogue(request, formats, on_file, plan);
  if (failed(fault)) return failure(fault);
  return run_plan(request, plan, on_file);
}

Outcome delete_listed(FormatRequest request, const std::vector<FormatRequest>& names,
                      const OnFile& on_file) {
  Plan plan;
  for (const FormatRequest& name : names) {
    if (!find_named(on_file, name.label_name).keys.empty()) plan_format(name, on_file, "", plan);
  }
  return run_plan(request, plan, on_file);
}

Outcome preview_add(FormatRequest request, const OnFile& on_file) {
  Outcome outcome;
  outcome.changes = planned_changes(request, on_file, true);
  return outcome;
}

Outcome preview_delete(FormatRequest request, const OnFile& on_file) {
  Outcome outcome;
  outcome.changes = planned_changes(request, on_file, false);
  return outcome;
}
