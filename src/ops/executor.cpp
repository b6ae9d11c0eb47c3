#include "ops/executor.h"

#include <cerrno>

#include "formats/layout.h"
#include "ops/format_catalogue.h"
#include "ops/format_check.h"
#include "ops/format_list.h"
#include "ops/format_ops.h"
#include "store/lock.h"
#include "store/transaction.h"

namespace {

Outcome run(Command command, const FormatRequest& request,
            const std::vector<FormatRequest>& catalogue) {
  switch (command) {
    case Command::kAdd:
      return request.dry_run ? preview_add(request) : add_label_format(request);
    case Command::kDelete:
      return request.dry_run ? preview_delete(request) : delete_label_format(request);
    case Command::kList:
      return list_label_formats(request);
    case Command::kCheck:
      return check_label_formats(request);
    case Command::kRepair:
      return repair_label_formats(request);
    case Command::kExport:
      return export_label_formats(request);
    case Command::kApply:
      return apply_catalogue(request, catalogue);
    case Command::kUsage:
      break;
  }
  return {};
}

Result lock_result(const Fault& fault) {
  if (fault.error == EWOULDBLOCK) return Result::kLockBusy;
  return fault.error == ENOENT ? Result::kNoDriver : Result::kLockFailed;
}

}  // namespace

// Leftovers of a run that was cut short are dealt with only under the lock: without it
// they could be another run's.
Outcome execute(Command command, const FormatRequest& request,
                const std::vector<FormatRequest>& catalogue, int64_t wait_ms) {
  Descriptor lock;
  const Fault unlocked = lock_directory(data_directory(request.model_id), wait_ms, lock);
  if (failed(unlocked)) return failure(lock_result(unlocked), unlocked);
  const FileSet set = model_files(request.model_id);
  remove_temporaries_on_signals(set);
  const Fault unrecovered = recover_data_files(set);
  if (failed(unrecovered)) return failure(Result::kDataFileFailed, unrecovered);
  return run(command, request, catalogue);
}
