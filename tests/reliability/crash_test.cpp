// SIGKILL, which no handler sees, at random moments of a command that rewrites large files:
// every data file is its old or its new contents in full, and the next run cleans up.
#include <gtest/gtest.h>
#include <signal.h>
#include <time.h>

#include <chrono>
#include <random>

#include "reliability/whole_files.h"

namespace {

constexpr size_t kLargeFile = 4 << 20;
constexpr int kKills = 50;

// Ordinary lines, so that the rewrite streams many blocks rather than one long line.
std::string filler(const std::string& what) {
  std::string text;
  for (int i = 0; text.size() < kLargeFile; ++i) {
    text += "; line " + std::to_string(i) + " of the " + what + ", invented to make it large\n";
  }
  return text;
}

void make_large(const DriverTree& tree) {
  for (const std::string& path : {tree.function_file(), tree.paper_table(), tree.imaging_area()}) {
    write_file(path, read_file(path) + filler(path));
  }
}

void sleep_for(std::chrono::nanoseconds span) {
  const timespec wait{static_cast<time_t>(span.count() / 1000000000),
                      static_cast<long>(span.count() % 1000000000)};
  ::nanosleep(&wait, nullptr);
}

TEST(Crash, KilledAnywhereEachFileIsOldOrNewInFull) {
  DriverTree tree("lmq700k", memory_backed_directory());
  make_large(tree);
  const Snapshot first = tree.snapshot();
  WholeFilesCheck check{{first}, false, true};
  ASSERT_EQ(tree.run(kDeleteAsset, kClock).status, 0);
  check.states.push_back(tree.snapshot());
  tree.restore(first);
  // How long a clean run takes only spreads the kills over it; nothing asserts on time.
  const auto started_at = std::chrono::steady_clock::now();
  ASSERT_EQ(tree.run(kReplaceAsset, kClock).status, 0);
  const auto clean_run = std::chrono::steady_clock::now() - started_at;
  check.states.push_back(tree.snapshot());

  std::mt19937 random(20240917);
  std::uniform_int_distribution<int64_t> moment(0, clean_run.count());
  int mixed = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    tree.restore(first);
    const Started started = tree.start(kReplaceAsset, kClock);
    sleep_for(std::chrono::steady_clock::duration(moment(random)));
    ::kill(started.pid, SIGKILL);
    finish_program(started);
    bool all_last = false;
    ASSERT_TRUE(files_whole(tree, check, &all_last)) << "kill " << kill;
    const bool untouched = tree.snapshot() == first;
    mixed += !untouched && !all_last;

    const RunResult next = tree.run(kReplaceAsset, kClock);
    EXPECT_EQ(next.status, 0) << "kill " << kill;
    EXPECT_EQ(next.out, "") << "kill " << kill;
    EXPECT_EQ(leftover_temporaries(tree), std::vector<std::string>{}) << "kill " << kill;
    // From a tree the kill left in one piece, the next run finishes the command exactly.
    if (untouched || all_last) {
      EXPECT_TRUE(files_whole(tree, {{check.states.back()}})) << "kill " << kill;
    }
  }
  std::printf("%d of %d kills left some files old and some new\n", mixed, kKills);
  // Kills that all came before or after the rewrites would have tested nothing.
  EXPECT_GT(mixed, 0);
}

}  // namespace
