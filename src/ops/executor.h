// The one place every command runs: under the model's lock, after what an interrupted run
// left is finished, on one reading of the model's data files, with each change's life,
// from look-up to cleanup, inside it.
#ifndef VTPAPERTOOL_OPS_EXECUTOR_H_
#define VTPAPERTOOL_OPS_EXECUTOR_H_

#include <cstdint>
#include <vector>

#include "formats/request.h"
#include "ops/outcome.h"

enum class Command {
  kUsage,
  kAdd,
  kDelete,
  kList,
  kCheck,
  kRepair,
  kExport,
  kApply,
  kDeleteListed,
  kModel,
};

// Takes the lock on the model's data directory, waiting at most wait_ms for another run
// (kBusy when the wait ran out); makes SIGINT, SIGTERM and SIGHUP remove what the run
// leaves but a record the next run needs; finishes or clears what an interrupted run left
// (its notes say what was removed as foreign); reads the model's data files once; then runs
// the command on them (-n and -d as their dry runs with request.dry_run; --apply with
// catalogue) and lets the lock go. A failure to read the files names the change that -n or
// -d would have made, as far as the files read before it tell.
Outcome execute(Command command, const FormatRequest& request,
                const std::vector<FormatRequest>& catalogue, int64_t wait_ms);

#endif  // VTPAPERTOOL_OPS_EXECUTOR_H_
