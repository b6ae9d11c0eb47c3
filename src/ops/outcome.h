// What an operation did, carried to the front end, which alone turns it into output and an
// exit status: one type for every outcome of every command.
#ifndef VTPAPERTOOL_OPS_OUTCOME_H_
#define VTPAPERTOOL_OPS_OUTCOME_H_

#include <string>
#include <utility>

#include "store/fault.h"

enum class Result {
  kDone,
  kNotFound,        // -d: no format of the name was on file
  kNotMended,       // --repair: made its change, and left what only a person can settle
  kDataFileFailed,  // a data file failed while a format on file was at stake; nothing changed
  kEntryFailed,     // a data file failed while a new format was entered; nothing changed
  kSiblingFailed,   // the print system refused: the files hold what it had accepted
  kInstallFailed,   // the change is recorded, and the next run of any command finishes it
  kNoDriver,        // the model's data directory is missing
  kLockBusy,        // another run held the model's lock for as long as this one waited
  kLockFailed,      // the model's lock could not be taken
};

struct Outcome {
  Result result = Result::kDone;
  Fault fault;         // on every failure: what failed and why
  std::string output;  // what standard output gets: a listing, a report, change lines
};

inline Outcome failure(Result result, Fault fault) { return {result, std::move(fault), ""}; }

inline bool succeeded(const Outcome& outcome) {
  return outcome.result == Result::kDone || outcome.result == Result::kNotFound ||
         outcome.result == Result::kNotMended;
}

#endif  // VTPAPERTOOL_OPS_OUTCOME_H_
