// The one place every command runs: under the model's lock, after what an interrupted run
// left is finished, with each change's life, from look-up to cleanup, inside it.
#ifndef VTPAPERTOOL_OPS_EXECUTOR_H_
#define VTPAPERTOOL_OPS_EXECUTOR_H_

#include <cstdint>
#include <vector>

#include "formats/request.h"
#include "ops/outcome.h"

enum class Command { kUsage, kAdd, kDelete, kList, kCheck, kRepair, kExport, kApply };

// Takes the lock on the model's data directory, waiting at most wait_ms for another run;
// makes SIGINT, SIGTERM and SIGHUP remove what the run leaves but a record the next run
// needs; finishes or clears what an interrupted run left; then runs the command (-n and -d
// as their dry runs with request.dry_run; --apply with catalogue) and lets the lock go.
// Gives the command's outcome; kLockBusy when the wait ran out, kNoDriver when the data
// directory is missing, kLockFailed when the lock cannot be taken otherwise, and
// kDataFileFailed when the interrupted change cannot be finished or cleared.
Outcome execute(Command command, const FormatRequest& request,
                const std::vector<FormatRequest>& catalogue, int64_t wait_ms);

#endif  // VTPAPERTOOL_OPS_EXECUTOR_H_
