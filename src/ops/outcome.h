// What a command did, carried to the front end, which alone turns it into output and an
// exit status: one type for every outcome of every command.
#ifndef VTPAPERTOOL_OPS_OUTCOME_H_
#define VTPAPERTOOL_OPS_OUTCOME_H_

#include <string>
#include <utility>
#include <vector>

#include "formats/request.h"
#include "store/fault.h"

enum class Status {
  kDone,
  kNotFound,  // -d: the paper table held no format of the name
  kProblems,  // --check found problems, or --repair left some for a person
  kFailed,    // fault: the files hold what the print system accepted, nothing more
  kRecorded,  // fault: the change is recorded, and the next run of any command finishes it
  kBusy,      // another run held the model's lock for as long as this one waited
};

enum class ChangeKind { kAdd, kReplace, kDelete };

// A format that a command added, replaced or deleted, or, not made, would have.
struct FormatChange {
  ChangeKind kind = ChangeKind::kAdd;
  FormatRequest format;               // its name and sizes; for a delete only the name
  std::string key;                    // the key it was entered under; empty for a delete
  std::vector<std::string> old_keys;  // the keys of the formats it took the place of
  bool made = false;                  // the files and the print system hold it
};

struct Outcome {
  Status status = Status::kDone;
  Fault fault;                        // with kFailed, kRecorded and kBusy: what failed and why
  std::vector<Fault> notes;           // other failures and losses the user must hear of, in order
  std::string output;                 // what standard output gets: a listing, a report, a catalogue
  std::vector<FormatChange> changes;  // in the order they were asked for
};

inline Outcome failure(Fault fault) { return {Status::kFailed, std::move(fault), {}, "", {}}; }

#endif  // VTPAPERTOOL_OPS_OUTCOME_H_
