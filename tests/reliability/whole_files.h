// The one check behind the fault, signal, crash and concurrency tests: a data file is only
// ever one of the states a command moves it through, never a mix or a fragment.
#ifndef VTPAPERTOOL_TESTS_RELIABILITY_WHOLE_FILES_H_
#define VTPAPERTOOL_TESTS_RELIABILITY_WHOLE_FILES_H_

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/harness.h"

// The commands the loops break: on the lmq700k sample tree, an add that replaces the
// sample's Asset24, so that both its steps rewrite files, and a delete of it. The clock is
// fixed, so that the key of the added format and thus the after-state are known.
inline const char kClock[] = "9.654321";
inline const std::vector<std::string> kReplaceAsset{"-P", "q1", "-n", "Asset24",
                                                    "-w", "24", "-h", "100"};
inline const std::vector<std::string> kDeleteAsset{"-P", "q1", "-d", "Asset24"};

// Data file path -> contents, as DriverTree::snapshot() takes them.
using Snapshot = std::map<std::string, std::string>;

struct WholeFilesCheck {
  // The snapshots a command passes through, first to last; a command that rewrites a file
  // twice (add replacing a format) needs the one in between.
  std::vector<Snapshot> states;
  // Let each run of consecutive format entries come in any order, for runs that take turns.
  bool any_line_order = false;
  // A program killed by SIGKILL cannot remove its temporary file; the next run does.
  bool temporary_may_remain = false;
};

// A memory-backed directory for DriverTree, where the machine has one, else "": the loops
// run the program hundreds of times, and syncing to a disk each time would make them slow
// without making them stricter.
std::string memory_backed_directory();

// "*.$$$" files in the tree's data directory.
std::vector<std::string> leftover_temporaries(const DriverTree& tree);

// Succeeds when every data file of tree equals that file in one of check.states, and no
// temporary file remains unless allowed. Sets *all_last to whether every file equals
// check.states.back().
testing::AssertionResult files_whole(const DriverTree& tree, const WholeFilesCheck& check,
                                     bool* all_last = nullptr);

#endif  // VTPAPERTOOL_TESTS_RELIABILITY_WHOLE_FILES_H_
