// Injected I/O failures and signals at every I/O call of a command: each data file stays
// whole, the exit status tells whether the command finished, and no temporary file stays.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include "reliability/whole_files.h"

namespace {

// Every state a command moves the lmq700k sample tree through. Adding Asset24 deletes the
// sample's Asset24 first, so the function file and the paper table pass through the
// delete's result on their way.
WholeFilesCheck states_of(const DriverTree& tree, const std::vector<std::string>& options) {
  const Snapshot first = tree.snapshot();
  WholeFilesCheck check{{first}};
  if (options == kReplaceAsset) {
    EXPECT_EQ(tree.run(kDeleteAsset, kClock).status, 0);
    check.states.push_back(tree.snapshot());
    tree.restore(first);
  }
  EXPECT_EQ(tree.run(options, kClock).status, 0);
  check.states.push_back(tree.snapshot());
  tree.restore(first);
  return check;
}

// Fails the k-th I/O call of the command with error, for k = 1, 2, ... until a run ends
// before reaching a k-th call.
void sweep_faults(const std::vector<std::string>& options, int error) {
  DriverTree tree("lmq700k", memory_backed_directory());
  const WholeFilesCheck check = states_of(tree, options);
  const std::string met = tree.dir.path + "/fault.met";
  const std::string error_line = std::string(std::strerror(error)) + "\n";
  int failed_runs = 0;
  bool swept = false;
  for (int k = 1; k < 1000 && !swept; ++k) {
    tree.restore(check.states.front());
    ::unlink(met.c_str());
    ::unlink(tree.lpd("standin.log").c_str());
    const RunResult result =
        tree.run(options, kClock,
                 {{"VTPAPERTOOL_FAULT", std::to_string(k) + ":" + std::to_string(error)},
                  {"VTPAPERTOOL_FAULT_MET", met}});
    const bool fault_met = file_exists(met);
    bool all_after = false;
    EXPECT_TRUE(files_whole(tree, check, &all_after)) << "k=" << k;
    EXPECT_EQ(result.status == 0, all_after) << "k=" << k;
    if (error == EINTR || !fault_met) {
      EXPECT_EQ(result.status, 0) << "k=" << k;
      EXPECT_EQ(result.out, "") << "k=" << k;
    } else {
      // Only the delete step names its failure; once the add step has asked the sibling
      // tool, a failure is silent.
      const bool add_step_ran = tree.sibling_calls().size() > 1;
      EXPECT_EQ(result.status, 255) << "k=" << k;
      EXPECT_EQ(result.out, add_step_ran ? "" : error_line) << "k=" << k;
    }
    failed_runs += result.status != 0;
    swept = !fault_met;
  }
  EXPECT_TRUE(swept) << "a run still met a fault at the last k";
  // A sweep that never failed a run would prove nothing.
  if (error != EINTR) {
    EXPECT_GT(failed_runs, 20);
  }
}

TEST(Faults, AddThatReplacesAFormat) {
  for (const int error : {ENOSPC, EIO, EINTR}) {
    SCOPED_TRACE(std::strerror(error));
    sweep_faults(kReplaceAsset, error);
  }
}

TEST(Faults, Delete) {
  for (const int error : {ENOSPC, EIO, EINTR}) {
    SCOPED_TRACE(std::strerror(error));
    sweep_faults(kDeleteAsset, error);
  }
}

// Stops the program at its k-th I/O call, for every k, and sends it the signal there.
// SIGKILL cannot be handled: its temporary file may stay until the next run.
void sweep_signal(int signal_number) {
  DriverTree tree("lmq700k", memory_backed_directory());
  WholeFilesCheck check = states_of(tree, kReplaceAsset);
  check.temporary_may_remain = signal_number == SIGKILL;
  const std::string met = tree.dir.path + "/stop.met";
  int stops_with_temporary = 0;
  bool swept = false;
  for (int k = 1; k < 1000 && !swept; ++k) {
    tree.restore(check.states.front());
    ::unlink(met.c_str());
    const Started started =
        tree.start(kReplaceAsset, kClock,
                   {{"VTPAPERTOOL_STOP", std::to_string(k)}, {"VTPAPERTOOL_FAULT_MET", met}});
    bool ended = false;
    // A program that neither stops nor ends is stuck; give up on it rather than hang.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!file_exists(met) && !ended && std::chrono::steady_clock::now() < deadline) {
      siginfo_t info{};
      ended = ::waitid(P_PID, static_cast<id_t>(started.pid), &info, WEXITED | WNOHANG | WNOWAIT) ==
                  0 &&
              info.si_pid != 0;
      ::usleep(500);
    }
    if (!file_exists(met)) {
      if (!ended) ::kill(started.pid, SIGKILL);
      EXPECT_EQ(finish_program(started).status, 0) << "k=" << k;
      swept = true;
      continue;
    }
    stops_with_temporary += !leftover_temporaries(tree).empty();
    ::kill(started.pid, signal_number);
    const RunResult result = finish_program(started);
    EXPECT_EQ(result.status, 128 + signal_number) << "k=" << k;
    EXPECT_EQ(result.out, "") << "k=" << k;
    EXPECT_TRUE(files_whole(tree, check)) << "k=" << k;
    if (signal_number == SIGKILL) {
      EXPECT_EQ(tree.run(kReplaceAsset, kClock).status, 0) << "k=" << k;
      EXPECT_EQ(leftover_temporaries(tree), std::vector<std::string>{}) << "k=" << k;
    }
  }
  EXPECT_TRUE(swept) << "the program still stopped at the last k";
  // The stops must include moments with a temporary file to remove.
  EXPECT_GT(stops_with_temporary, 20);
}

TEST(Signals, EndTheProgramAndRemoveTheTemporaryFile) {
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal_number));
    sweep_signal(signal_number);
  }
}

TEST(Signals, KillLeavesATemporaryFileTheNextRunRemoves) { sweep_signal(SIGKILL); }

}  // namespace
