// What the data store promises whatever happens: every operation changes all of its
// files or none, durably and in order, under a lock that can be neither stolen nor held
// forever, and the next run finishes what a crash cut short.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <thread>

#include "support/harness.h"

namespace {

const Words kReplaceAsset{"-P", "q1", "-n", "Asset24", "-w", "24", "-h", "100"};
const Words kDeleteAsset{"-P", "q1", "-d", "Asset24"};
const char kRecord[] = "vtpapertoollpr.commit";

bool has_leftovers(const Files& files) {
  return std::any_of(files.begin(), files.end(), [](const auto& file) {
    return file.first.find(".$$$") != std::string::npos || file.first == kRecord;
  });
}

bool is_one_of(const Files& files, const std::vector<Files>& states) {
  return std::find(states.begin(), states.end(), files) != states.end();
}

// Starts the command stopped at its k-th I/O call and ends it there with signal; false
// when the command ended before reaching that call.
bool stop_and_signal(const Tree& tree, const Words& args, int k, int signal, Result& result) {
  const fs::path met = tree.dir / "met";
  fs::remove(met);
  const pid_t pid = tree.start(
      args, {{"VTPAPERTOOL_STOP", std::to_string(k)}, {"VTPAPERTOOL_FAULT_MET", met.string()}});
  int status = 0;
  while (!fs::exists(met) && ::waitpid(pid, &status, WNOHANG) == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!fs::exists(met)) return false;
  ::kill(pid, signal);
  result = tree.finish(pid);
  return true;
}

// Each I/O call k of a replacing add (two operations) and of a delete: cut short by
// SIGKILL or SIGTERM, failed with ENOSPC or EIO, or interrupted. The tree must always be
// exactly one of the states between operations, at once or after the next run.
TEST(Store, EveryIoCallCutShort) {
  for (const Words& command : {kReplaceAsset, kDeleteAsset}) {
    Tree tree("lmq700k", true);
    // A run of unchanged bytes long enough to be written straight from the read block.
    write_file(tree.inf / "vtlmq700kfunc",
               read_file(tree.inf / "vtlmq700kfunc") + "; " + std::string(100000, 'x') + "\n");
    std::vector<Files> states{tree.files()};
    for (const Words& step : {kDeleteAsset, command}) {
      EXPECT_EQ(tree.run(step).status, 0);
      states.push_back(tree.files());
    }
    states.erase(std::unique(states.begin(), states.end()), states.end());
    bool reached = true;
    for (int k = 1; reached; ++k) {
      SCOPED_TRACE("k=" + std::to_string(k) + " " + command[2]);
      reached = false;
      for (const int signal : {SIGKILL, SIGTERM}) {
        tree.restore(states.front());
        Result killed;
        if (!stop_and_signal(tree, command, k, signal, killed)) continue;
        reached = true;
        EXPECT_EQ(killed.status, 128 + signal);
        const Files left = tree.files();
        EXPECT_TRUE(signal == SIGKILL || left.count(kRecord) != 0 || !has_leftovers(left));
        EXPECT_EQ(tree.run({"--list"}).status, 0);
        EXPECT_TRUE(is_one_of(tree.files(), states));
      }
      for (const int error : {ENOSPC, EIO, EINTR}) {
        tree.restore(states.front());
        const Result result = tree.run(
            command, {{"VTPAPERTOOL_FAULT", std::to_string(k) + ":" + std::to_string(error)}});
        const bool failed = result.status != 0;
        EXPECT_EQ(result.status, failed && error != EINTR ? 255 : 0);
        EXPECT_TRUE(!failed || result.out.empty() ||
                    result.out == std::strerror(error) + std::string("\n"));
        EXPECT_EQ(result.err.rfind("vtpapertoollpr_lmq700k: ", 0), failed ? 0u : std::string::npos);
        // Without a record the change failed before its commit or after it was whole; with
        // one the next run finishes it.
        const bool committed = tree.files().count(kRecord) != 0;
        EXPECT_EQ(committed ? tree.run({"--list"}).status : 0, 0);
        const Files left = tree.files();
        EXPECT_TRUE(is_one_of(left, states) && !has_leftovers(left) &&
                    (failed || left == states.back()));
        EXPECT_TRUE(!committed || left != states.front());
      }
    }
  }
}

// The position of the first call from from on, or calls.size().
long index_of(const std::vector<std::string>& calls, const std::string& call, long from = 0) {
  return std::find(calls.begin() + from, calls.end(), call) - calls.begin();
}

std::vector<std::string> logged_calls(const Tree& tree, const Words& command) {
  const fs::path log = tree.dir / "io.log";
  fs::remove(log);
  EXPECT_EQ(tree.run(command, {{"VTPAPERTOOL_IO_LOG", log.string()}}).status, 0);
  std::vector<std::string> calls;
  std::istringstream lines(read_file(log));
  for (std::string line; std::getline(lines, line);) calls.push_back(line);
  return calls;
}

// A link planted as a temporary file between its removal and its creation is never
// followed: the run fails instead of writing through it.
TEST(Store, LinkPlantedAsTemporaryFile) {
  Tree tree("lmq700k");
  const Files before = tree.files();
  const fs::path met = tree.dir / "met";
  const fs::path temp = tree.inf / "ImagingArea.$$$";
  const long k = index_of(logged_calls(tree, kDeleteAsset), "open " + temp.string()) + 1;
  tree.restore(before);
  const pid_t pid = tree.start(kDeleteAsset, {{"VTPAPERTOOL_STOP", std::to_string(k)},
                                              {"VTPAPERTOOL_FAULT_MET", met.string()}});
  while (!fs::exists(met)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  fs::create_symlink(tree.dir / "outside", temp);
  fs::remove(met);
  EXPECT_EQ(tree.finish(pid).out, "File exists\n");
  EXPECT_FALSE(fs::exists(tree.dir / "outside"));
}

// Each temporary file is synced before the record has its name, the record is durable
// before the first data file is replaced, and the directory is synced after the last.
TEST(Store, DurableOrder) {
  for (const Words& command : {kDeleteAsset, Words{"-P", "q1", "-n", "N", "-w", "9", "-h", "9"}}) {
    Tree tree("lmq700k");
    const std::vector<std::string> calls = logged_calls(tree, command);
    const std::string inf = tree.inf.string();
    const long committed = index_of(calls, "rename " + inf + "/" + kRecord);
    EXPECT_LT(index_of(calls, "fsync " + inf + "/" + kRecord + ".$$$"), committed);
    const long synced = index_of(calls, "fsync " + inf, committed);
    long last_install = synced;
    for (const auto& [file, contents] : tree.files()) {
      const long installed = index_of(calls, "rename " + inf + "/" + file);
      if (installed == static_cast<long>(calls.size())) continue;
      EXPECT_LT(index_of(calls, "fsync " + inf + "/" + file + ".$$$"), committed) << file;
      EXPECT_LT(synced, installed) << file;
      last_install = std::max(last_install, installed);
    }
    EXPECT_LT(index_of(calls, "fsync " + inf, last_install),
              index_of(calls, "unlink " + inf + "/" + kRecord));
    EXPECT_LT(last_install, static_cast<long>(calls.size()));
  }
}

// Records and temporary files as a crash, or someone else, left them.
TEST(Store, RecoveryOfHandMadeRecords) {
  const struct {
    std::string what;
    std::string record;  // "<link>" for a link to a valid record, "<dir>" for a directory
    bool finished;
  } rows[] = {
      {"a valid record is finished", "paperinflmq700k\nImagingArea\nvtlmq700kfunc\n", true},
      {"a record naming another file", "paperinflmq700k\n../../../etc/passwd\n", false},
      {"a record without its last line feed", "paperinflmq700k\nImagingArea", false},
      {"a record that is a link", "<link>", false},
      {"a record that is a directory", "<dir>", false},
      {"temporary files without a record", "", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Tree tree("lmq700k");
    const Files before = tree.files();
    Files after = before;
    for (const char* name : {"paperinflmq700k", "ImagingArea"}) {
      write_file(tree.inf / (std::string(name) + ".$$$"), std::string("new ") + name + "\n");
      after[name] = std::string("new ") + name + "\n";
    }
    write_file(tree.inf / (std::string(kRecord) + ".$$$"), "half written");
    write_file(tree.dir / "valid", "paperinflmq700k\nImagingArea\n");
    if (row.record == "<link>") fs::create_symlink(tree.dir / "valid", tree.inf / kRecord);
    if (row.record == "<dir>") fs::create_directory(tree.inf / kRecord);
    if (row.record[0] != '<' && !row.record.empty()) write_file(tree.inf / kRecord, row.record);
    const Result result = tree.run({"--list"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(tree.files(), row.finished ? after : before);
    EXPECT_EQ(tree.run({"--list"}).status, 0);
    EXPECT_EQ(tree.files(), row.finished ? after : before);
  }
}

int hold_lock(const fs::path& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ::flock(fd, LOCK_EX);
  return fd;
}

TEST(Store, LockIsNeitherStolenNorHeldForever) {
  Tree tree("lmq700k");
  const Files before = tree.files();
  int held = hold_lock(tree.inf);
  const Result timed_out = tree.run(kDeleteAsset, {{"VTPAPERTOOL_LOCK_WAIT", "1500"}});
  EXPECT_EQ(timed_out.out, "Resource temporarily unavailable\n");
  EXPECT_EQ(timed_out.status, 255);
  const std::string lock = "vtpapertoollpr_lmq700k: lock on " + tree.inf.string() + ": ";
  EXPECT_EQ(timed_out.err, lock + "held by another run; waiting up to 1 s\n" + lock +
                               "Resource temporarily unavailable (held by another run for 1 s)\n");
  EXPECT_EQ(tree.files(), before);
  EXPECT_EQ(tree.sibling_log(), "");
  // The directory is replaced while a run waits for it: the run must wait for the new one.
  const pid_t waiting = tree.start(kDeleteAsset);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  fs::rename(tree.inf, tree.dir / "old");
  fs::copy(tree.dir / "old", tree.inf);
  const int held_new = hold_lock(tree.inf);
  ::close(held);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(tree.sibling_log(), "");
  ::close(held_new);
  EXPECT_EQ(tree.finish(waiting).status, 0);
  EXPECT_EQ(tree.run({"--list"}).out, "");
}

TEST(Store, RunsAtOnceTakeTurns) {
  Tree tree("lmq700k");
  for (const char* command : {"-n", "-d"}) {
    std::vector<pid_t> runs;
    for (int i = 0; i < 8; ++i) {
      Words args{"-P", "q1", command, "N" + std::to_string(i)};
      if (command[1] == 'n') args.insert(args.end(), {"-w", "12", "-h", "50"});
      runs.push_back(tree.start(args));  // one clock for all: only the key check keeps them apart
    }
    for (const pid_t run : runs) EXPECT_EQ(tree.finish(run).status, 0);
    const std::string listing = tree.run({"--list"}).out;
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), command[1] == 'n' ? 9 : 1)
        << listing;
    EXPECT_EQ(listing.find("incomplete"), std::string::npos) << listing;
  }
}

TEST(Store, OutputThatNeverArrives) {
  Tree tree("lmq700k");
  const Files before = tree.files();
  for (const fs::path& out : {fs::path("/dev/full"), fs::path()}) {
    tree.out = out;
    const Result result = tree.run({"-P", "q1", "-d", "Missing"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err,
              "vtpapertoollpr_lmq700k: standard output: " +
                  std::string(out.empty() ? "Bad file descriptor" : "No space left on device") +
                  "\n");
    EXPECT_EQ(tree.files(), before);
  }
}

}  // namespace
