#include "ops/executor.h"

#include <cerrno>

#include "formats/layout.h"
#include "formats/on_file.h"
#include "ops/format_catalogue.h"
#include "ops/format_check.h"
#include "ops/format_list.h"
#include "ops/format_ops.h"
#include "store/lock.h"
#include "store/open_file.h"
#include "store/transaction.h"

namespace {

Outcome run(Command command, const FormatRequest& request,
            const std::vector<FormatRequest>& catalogue, const OnFile& on_file) {
  switch (command) {
    case Command::kAdd:
      return request.dry_run ? preview_add(request, on_file) : add_label_format(request, on_file);
    case Command::kDelete:
      return request.dry_run ? preview_delete(request, on_file)
                             : delete_label_format(request, on_file);
    case Command::kList:
      return list_label_formats(on_file);
    case Command::kCheck:
      return check_label_formats(on_file);
    case Command::kRepair:
      return repair_label_formats(request, on_file);
    case Command::kExport:
      return export_label_formats(on_file);
    case Command::kApply:
      return apply_catalogue(request, catalogue, on_file);
    case Command::kDeleteListed:
      return delete_listed(request, catalogue, on_file);
    case Command::kUsage:
    case Command::kModel:
      break;
  }
  return {};
}

// A missing directory is no driver at all; anything else is the lock's failure.
Outcome unlocked(const std::string& directory, Fault fault) {
  if (fault.error != ENOENT) fault.subject = "lock on " + directory;
  return {fault.error == EWOULDBLOCK ? Status::kBusy : Status::kFailed, fault, {}, "", {}};
}

Outcome run_on_files(Command command, const FormatRequest& request,
                     const std::vector<FormatRequest>& catalogue, const FileSet& set) {
  OnFile on_file;
  const bool looks_up =
      command == Command::kAdd || command == Command::kDelete || command == Command::kDeleteListed;
  const Fault unread =
      read_on_file(request, set, looks_up ? Reading::kNames : Reading::kWhole, on_file);
  if (!failed(unread)) return run(command, request, catalogue, on_file);
  Outcome outcome = failure(unread);
  if (command == Command::kAdd || command == Command::kDelete) {
    outcome.changes = planned_changes(request, on_file, command == Command::kAdd);
  }
  return outcome;
}

}  // namespace

// Leftovers of a run that was cut short are dealt with only under the lock: without it
// they could be another run's.
Outcome execute(Command command, const FormatRequest& request,
                const std::vector<FormatRequest>& catalogue, int64_t wait_ms) {
  const std::string directory = data_directory(request.model_id);
  Descriptor lock;
  const Fault fault = lock_directory(directory, wait_ms, lock);
  if (failed(fault)) return unlocked(directory, fault);
  FileSet set = model_files(request.model_id);
  const Fault unresolved = resolve_file_set(set);
  if (failed(unresolved)) return failure(unresolved);
  remove_temporaries_on_signals(set);
  std::vector<Fault> notes;
  const Fault unrecovered = recover_data_files(set, notes);
  Outcome outcome =
      failed(unrecovered) ? failure(unrecovered) : run_on_files(command, request, catalogue, set);
  outcome.notes.insert(outcome.notes.begin(), notes.begin(), notes.end());
  stop_removing_temporaries_on_signals();
  return outcome;
}
