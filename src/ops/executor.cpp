#include "ops/executor.h"

#include <sys/stat.h>

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

// A data file that is another model's too would have each model take the other's lines
// for damage that --repair drops, and the two share their temporary files under two
// locks. Each model's files are its own.
Fault shared_with_another_model(const std::string& model_id, const FileSet& set) {
  std::vector<struct stat> ours(set.files.size());
  for (size_t i = 0; i < set.files.size(); ++i) {
    if (::stat(set.files[i].c_str(), &ours[i]) != 0) ours[i].st_ino = 0;
  }
  for (const Model& model : kModels) {
    if (model.id == model_id) continue;
    for (const std::string& theirs : model_files(model.id).files) {
      struct stat other {};
      if (::stat(theirs.c_str(), &other) != 0) continue;
      for (size_t i = 0; i < ours.size(); ++i) {
        if (ours[i].st_ino != other.st_ino || ours[i].st_dev != other.st_dev) continue;
        return {0, set.files[i],
                "is model " + std::string(model.id) + "'s data file " + theirs +
                    " too; each model's data files must be its own"};
      }
    }
  }
  return {};
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
  Fault unresolved = resolve_file_set(set);
  if (!failed(unresolved)) unresolved = shared_with_another_model(request.model_id, set);
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
