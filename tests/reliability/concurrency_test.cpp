// Runs at once on one model: the lock on the data directory makes them take turns, so no
// run's entries are lost and no run fails on another's temporary file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>

#include "reliability/whole_files.h"

namespace {

constexpr int kRuns = 8;
constexpr int kRounds = 3;

std::string name_of(int round, int run) {
  return "Con" + std::to_string(round) + "x" + std::to_string(run);
}

std::vector<std::string> add_options(int round, int run) {
  return {"-P", "q1", "-n", name_of(round, run), "-w", "12", "-h", std::to_string(40 + run)};
}

// Distinct clocks give distinct keys, so that deleting one entry cannot take another's lines.
std::string clock_of(int round, int run) { return "7." + std::to_string(100 * round + run + 1); }

std::vector<RunResult> run_all_at_once(const DriverTree& tree,
                                       const std::vector<std::vector<std::string>>& options,
                                       const std::vector<std::string>& clocks) {
  std::vector<Started> started;
  for (size_t i = 0; i < options.size(); ++i) started.push_back(tree.start(options[i], clocks[i]));
  std::vector<RunResult> results;
  for (const Started& run : started) results.push_back(finish_program(run));
  return results;
}

TEST(Concurrency, RunsAtOnceLoseNoEntry) {
  DriverTree tree("lmq700k");
  const Snapshot first = tree.snapshot();
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::vector<std::string>> adds;
    std::vector<std::vector<std::string>> deletes;
    std::vector<std::string> clocks;
    for (int run = 0; run < kRuns; ++run) {
      adds.push_back(add_options(round, run));
      deletes.push_back({"-P", "q1", "-d", name_of(round, run)});
      clocks.push_back(clock_of(round, run));
      ASSERT_EQ(tree.run(adds.back(), clocks.back()).status, 0);
    }
    const WholeFilesCheck all_added{{tree.snapshot()}, true, false};
    tree.restore(first);
    for (const RunResult& result : run_all_at_once(tree, adds, clocks)) {
      EXPECT_EQ(result.status, 0) << "round " << round;
      EXPECT_EQ(result.out, "") << "round " << round;
    }
    EXPECT_TRUE(files_whole(tree, all_added)) << "round " << round;

    for (const RunResult& result : run_all_at_once(tree, deletes, clocks)) {
      EXPECT_EQ(result.status, 0) << "round " << round;
      EXPECT_EQ(result.out, "") << "round " << round;
    }
    EXPECT_TRUE(files_whole(tree, {{first}})) << "round " << round;
  }
}

// Whether the kernel lists pid as blocked on an flock, within a generous deadline.
bool waits_for_flock(pid_t pid) {
  const std::string waiter = " " + std::to_string(pid) + " ";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    std::istringstream locks(read_file("/proc/locks"));
    for (std::string line; std::getline(locks, line);) {
      if (line.find("-> FLOCK") != std::string::npos && line.find(waiter) != std::string::npos) {
        return true;
      }
    }
    ::usleep(1000);
  }
  return false;
}

TEST(Concurrency, RunWaitsForTheLockHolder) {
  DriverTree tree("lmq700k");
  const Snapshot first = tree.snapshot();
  const std::vector<std::string> add{"-P", "q1", "-n", "Waiting", "-w", "12", "-h", "50"};
  ASSERT_EQ(tree.run(add).status, 0);
  const WholeFilesCheck added{{tree.snapshot()}};
  tree.restore(first);
  ::unlink(tree.lpd("standin.log").c_str());

  const int lock = ::open(tree.inf("").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  const Started started = tree.start(add);
  // Once the run waits for the lock it must not have begun: not even the sibling tool was
  // asked.
  EXPECT_TRUE(waits_for_flock(started.pid));
  EXPECT_EQ(tree.snapshot(), first);
  EXPECT_FALSE(file_exists(tree.lpd("standin.log")));
  EXPECT_EQ(::waitpid(started.pid, nullptr, WNOHANG), 0);
  ::close(lock);
  const RunResult result = finish_program(started);
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(files_whole(tree, added));
}

}  // namespace
