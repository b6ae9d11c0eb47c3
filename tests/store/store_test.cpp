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
  for (const auto& [name, contents] : files) {
    if (name.find(".$$$") != std::string::npos || name == kRecord) return true;
  }
  return false;
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
  const bool reached = fs::exists(met);
  if (reached) ::kill(pid, signal);
  if (reached) result = tree.finish(pid);
  if (!reached) ::waitpid(pid, &status, 0);
  return reached;
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
      if (step == kDeleteAsset && command == kDeleteAsset && states.size() == 2) break;
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
        if (signal == SIGTERM && left.count(kRecord) == 0) {
          EXPECT_FALSE(has_leftovers(left));
        }
        EXPECT_EQ(tree.run({"--list"}).status, 0);
        EXPECT_TRUE(is_one_of(tree.files(), states));
      }
      for (const int error : {ENOSPC, EIO, EINTR}) {
        tree.restore(states.front());
        const Result result = tree.run(
            command, {{"VTPAPERTOOL_FAULT", std::to_string(k) + ":" + std::to_string(error)}});
        const Files left = tree.files();
        if (result.status == 0) {
          EXPECT_EQ(left, states.back()) << error;
          continue;
        }
        EXPECT_NE(error, EINTR);
        EXPECT_EQ(result.status, 255);
        EXPECT_TRUE(result.out.empty() || result.out == std::string(std::strerror(error)) + "\n");
        EXPECT_EQ(result.err.rfind("vtpapertoollpr_lmq700k: ", 0), 0u) << result.err;
        // Without a record the change failed before its commit, or after it was whole.
        if (left.count(kRecord) == 0) {
          EXPECT_TRUE(is_one_of(left, states) && !has_leftovers(left));
        } else {
          EXPECT_EQ(tree.run({"--list"}).status, 0);
          EXPECT_TRUE(is_one_of(tree.files(), states) && tree.files() != states.front());
        }
      }
    }
  }
}

// A link planted as a temporary file between its removal and its creation is never
// followed: the run fails instead of writing through it.
TEST(Store, LinkPlantedAsTemporaryFile) {
  Tree tree("lmq700k");
  const fs::path log = tree.dir / "io.log";
  const fs::path temp = tree.inf / "ImagingArea.$$$";
  EXPECT_EQ(tree.run(kDeleteAsset, {{"VTPAPERTOOL_IO_LOG", log.string()}}).status, 0);
  const std::string calls = read_file(log);
  const size_t created = calls.find("open " + temp.string());
  const long k = std::count(calls.begin(), calls.begin() + static_cast<long>(created), '\n') + 1;
  tree.restore(Files());
  fs::copy(fs::path(SOURCE_DIR) / "examples/lmq700k/bin/inf", tree.inf);
  Result stopped;
  const fs::path met = tree.dir / "met";
  const pid_t pid = tree.start(kDeleteAsset, {{"VTPAPERTOOL_STOP", std::to_string(k)},
                                              {"VTPAPERTOOL_FAULT_MET", met.string()}});
  while (!fs::exists(met)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  fs::create_symlink(tree.dir / "outside", temp);
  fs::remove(met);
  const Result result = tree.finish(pid);
  EXPECT_EQ(result.out, "File exists\n");
  EXPECT_EQ(result.status, 255);
  EXPECT_FALSE(fs::exists(tree.dir / "outside"));
}

// Each temporary file is synced before the record has its name, the record is durable
// before the first data file is replaced, and the directory is synced after the last.
TEST(Store, DurableOrder) {
  for (const Words& command :
       {kDeleteAsset, Words{"-P", "q1", "-n", "New", "-w", "9", "-h", "9"}}) {
    Tree tree("lmq700k");
    const fs::path log = tree.dir / "io.log";
    EXPECT_EQ(tree.run(command, {{"VTPAPERTOOL_IO_LOG", log.string()}}).status, 0);
    std::vector<std::string> calls;
    std::istringstream lines(read_file(log));
    for (std::string line; std::getline(lines, line);) calls.push_back(line);
    const std::string inf = tree.inf.string();
    const auto at = [&](const std::string& call) {
      return std::find(calls.begin(), calls.end(), call) - calls.begin();
    };
    const long committed = at("rename " + inf + "/" + kRecord);
    ASSERT_LT(committed, static_cast<long>(calls.size()));
    EXPECT_LT(at("fsync " + inf + "/" + kRecord + ".$$$"), committed);
    long first_install = static_cast<long>(calls.size());
    long last_install = committed;
    for (const std::string file :
         {"vtlmq700kfunc", "paperinflmq700k", "vtlmq700krc", "ImagingArea"}) {
      const long installed = at("rename " + inf + "/" + file);
      if (installed == static_cast<long>(calls.size())) continue;
      EXPECT_LT(at("fsync " + inf + "/" + file + ".$$$"), committed) << file;
      first_install = std::min(first_install, installed);
      last_install = std::max(last_install, installed);
    }
    EXPECT_LT(std::find(calls.begin() + committed, calls.end(), "fsync " + inf) - calls.begin(),
              first_install);
    const auto synced_after = std::find(calls.begin() + last_install, calls.end(), "fsync " + inf);
    EXPECT_LT(synced_after - calls.begin(), at("unlink " + inf + "/" + kRecord));
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
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY);
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
      runs.push_back(tree.start(args, {{"VTPAPERTOOL_CLOCK", ""}}));
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
