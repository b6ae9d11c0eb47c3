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
#include <fstream>
#include <thread>
#include <tuple>

#include "support/harness.h"

namespace {

const Words kReplaceAsset{"-P", "q1", "-n", "Asset24", "-w", "24", "-h", "100"};
const Words kDeleteAsset{"-P", "q1", "-d", "Asset24"};
// A new format's paper table and ImagingArea are copied inside the kernel where it can.
const Words kNewFormat{"-P", "q1", "-n", "N", "-w", "9", "-h", "9"};
const char kRecord[] = "vtpapertoollpr.commit";
// Two new formats and the sample's one pruned, in one change; the catalogue is made beside
// the tree.
const Words kApplyCatalogue{"-P", "q1", "--prune", "--apply", "<catalogue>"};

bool has_leftovers(const Files& files) {
  return std::any_of(files.begin(), files.end(), [](const auto& file) {
    return file.first.find(".$$$") != std::string::npos || file.first == kRecord;
  });
}

// Starts the command stopped at its k-th I/O call and ends it there with signal; false
// when the command ended before reaching that call.
bool stop_and_signal(const Tree& tree, const Words& args, int k, int signal, Result& result) {
  const fs::path met = tree.dir / "met";
  fs::remove(met);
  const pid_t pid = tree.start(
      args, {{"VTPAPERTOOL_STOP", std::to_string(k)}, {"VTPAPERTOOL_FAULT_MET", met.string()}});
  while (!fs::exists(met) && ::waitpid(pid, nullptr, WNOHANG) == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!fs::exists(met)) return false;
  ::kill(pid, signal);
  fs::remove(met);  // a signal held back lets the command go on
  result = tree.finish(pid);
  return true;
}

// The position of the first call from from on, or calls.size().
long index_of(const std::vector<std::string>& calls, const std::string& call, long from = 0) {
  return std::find(calls.begin() + from, calls.end(), call) - calls.begin();
}

std::vector<std::string> logged_calls(const Tree& tree, const Words& command) {
  Result result;
  const std::vector<std::string> calls = tree.io_calls(command, result);
  EXPECT_EQ(result.status, 0);
  return calls;
}

// The calls at which a kill leaves the print system holding a step that the record does
// not: after a sibling call ran, up to the write of the mark that records it.
std::vector<bool> in_doubt(const std::vector<std::string>& calls, const std::string& journal) {
  std::vector<bool> doubtful(calls.size(), false);
  for (size_t k = 1; k < calls.size(); ++k) {
    doubtful[k] = calls[k - 1].rfind("sibling ", 0) == 0 ||
                  (doubtful[k - 1] && calls[k - 1] != "write " + journal);
  }
  return doubtful;
}

bool are_change_lines(const std::string& out) {
  for (size_t at = 0; at < out.size(); at = out.find('\n', at) + 1) {
    if (out.compare(at, 4, "add\t") != 0 && out.compare(at, 7, "delete\t") != 0) return false;
  }
  return out.back() == '\n';
}

// Each I/O call of a replacing add, a delete, a new add and an apply, the sibling tool's
// calls, the marks of the record, the commit point and the renames among them: cut short
// by SIGKILL, SIGTERM or SIGINT, or failed with ENOSPC, EIO or EINTR, then followed by a
// run that recovers. The files must then hold a whole state, and exactly the formats that
// the print system holds, but where a kill fell between a sibling call and its mark.
// The name of the format a note says the print system holds beyond the files.
std::string told_format(const std::string& err) {
  const size_t quote = err.find(": '");
  return quote == std::string::npos ? ""
                                    : err.substr(quote + 3, err.find('\'', quote + 3) - quote - 3);
}

std::set<std::string> without_format(std::set<std::string> formats, const std::string& name) {
  for (auto it = formats.begin(); it != formats.end();) {
    it = it->rfind(name + "\t", 0) == 0 ? formats.erase(it) : std::next(it);
  }
  return formats;
}

// From the calls of a change: each copy is synced before the record has its name, the
// record and its name are durable before the sibling tool is asked and before the first
// data file is replaced, and the directory is synced after the last; and no more syncs and
// renames are made than that takes.
void check_durable_order(const Tree& tree, const std::vector<std::string>& calls, long syncs,
                         long renames) {
  const std::string inf = tree.inf.string();
  const long committed = index_of(calls, "rename " + inf + "/" + kRecord);
  const long journal_synced = index_of(calls, "fsync " + inf + "/" + kRecord + ".$$$");
  EXPECT_LT(journal_synced, committed);
  EXPECT_LT(index_of(calls, "fsync " + inf, journal_synced),
            index_of(calls, "sibling " + (tree.lpd / "vtpapertoolcups_lmq700k").string()));
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
  const auto count = [&calls](const std::string& call) {
    return std::count_if(calls.begin(), calls.end(), [&call](const std::string& logged) {
      return logged.rfind(call + " ", 0) == 0;
    });
  };
  EXPECT_LE(count("fsync") + count("fdatasync"), syncs);
  EXPECT_LE(count("rename"), renames);
}

TEST(Store, EveryIoCallCutShort) {
  // Each command with the syncs and renames it takes at most.
  for (auto [command, syncs, renames] :
       std::vector<std::tuple<Words, long, long>>{{kReplaceAsset, 10, 5},
                                                  {kDeleteAsset, 9, 5},
                                                  {kNewFormat, 8, 4},
                                                  {kApplyCatalogue, 13, 5}}) {
    Tree tree("lmq700k", true);
    const bool many = command == kApplyCatalogue;
    if (many) {
      command.back() = (tree.dir / "catalogue").string();
      write_file(command.back(), "N1\t9\t9\nN2\t18\t30\n");
    }
    // A run of unchanged bytes long enough to be written straight from the read block.
    write_file(tree.inf / "vtlmq700kfunc",
               read_file(tree.inf / "vtlmq700kfunc") + "; " + std::string(100000, 'x') + "\n");
    const Files before = tree.files();
    const fs::path registry = tree.lpd / "standin.registry";
    const std::string held = read_file(registry);
    const auto reset = [&] {
      tree.restore(before);
      write_file(registry, held);
      fs::remove(tree.lpd / "standin.log");
    };
    const std::vector<std::string> calls = logged_calls(tree, command);
    check_durable_order(tree, calls, syncs, renames);
    std::vector<Files> states{before, tree.files()};
    // The old format dropped and the new one refused.
    reset();
    write_file(tree.lpd / "standin.fail", "add");
    tree.run(command);
    states.push_back(tree.files());
    fs::remove(tree.lpd / "standin.fail");
    const std::string journal = (tree.inf / kRecord).string() + ".$$$";
    const std::vector<bool> doubtful = in_doubt(calls, journal);
    const long first_call =
        index_of(calls, "sibling " + (tree.lpd / "vtpapertoolcups_lmq700k").string()) + 1;
    // After the next run, a whole state, nothing left over, and what the print system holds.
    const auto settled = [&](bool told) {
      EXPECT_EQ(tree.run({"--list"}).status, 0);
      EXPECT_FALSE(has_leftovers(tree.files()));
      EXPECT_TRUE(many ? tree.run({"--check"}).status == 0
                       : std::count(states.begin(), states.end(), tree.files()) > 0);
      if (told) {
        EXPECT_EQ(tree.catalogue(), tree.registry());
      }
    };
    bool reached = true;
    for (int k = 1; reached; ++k) {
      SCOPED_TRACE("k=" + std::to_string(k) + " " + command[2]);
      reached = false;
      for (const int signal : {SIGKILL, SIGTERM, SIGINT}) {
        reset();
        Result killed;
        if (!stop_and_signal(tree, command, k, signal, killed)) continue;
        reached = true;
        EXPECT_EQ(killed.status, 128 + signal);
        const Files left = tree.files();
        EXPECT_EQ(killed.err.find("the change is recorded, and the next run") != std::string::npos,
                  signal != SIGKILL &&
                      left.count(kRecord) + left.count(std::string(kRecord) + ".$$$") != 0);
        // Only SIGKILL can stop it between the print system's change and its record.
        settled(signal != SIGKILL || k > static_cast<long>(calls.size()) || !doubtful[k - 1]);
      }
      for (const int error : {ENOSPC, EIO, EINTR}) {
        reset();
        const Result result = tree.run(
            command, {{"VTPAPERTOOL_FAULT", std::to_string(k) + ":" + std::to_string(error)}});
        const bool failed = result.status != 0;
        const bool recorded =
            tree.files().count(kRecord) + tree.files().count(std::string(kRecord) + ".$$$") != 0;
        EXPECT_EQ(result.status, failed && error != EINTR ? 255 : 0);
        EXPECT_TRUE(result.out.empty() || result.out == std::strerror(error) + std::string("\n") ||
                    (many && are_change_lines(result.out)))
            << result.out;
        EXPECT_EQ(result.err.rfind("vtpapertoollpr_lmq700k: ", 0), failed ? 0u : std::string::npos);
        EXPECT_EQ(result.err.find("the change is recorded, and the next run finishes it\n") !=
                      std::string::npos,
                  recorded)
            << result.err;
        EXPECT_TRUE(failed || tree.files() == states[1]);
        settled(true);
        // The sibling tool is asked only once every copy is ready.
        EXPECT_EQ(tree.sibling_log().empty(), failed && k <= first_call);
        const std::string call = k <= static_cast<long>(calls.size()) ? calls[k - 1] : "";
        const std::string name = call.substr(0, call.find(' '));
        if (error != EIO || k <= first_call || call != name + " " + journal || name == "unlink" ||
            name == "rename") {
          continue;
        }
        // A mark that cannot be written: the record written whole again carries the change
        // on; where that fails too, the change stops with what is recorded, and standard
        // error says what the print system holds beyond the files.
        EXPECT_EQ(result.status, 0);
        reset();
        const std::string mark = std::to_string(k) + ":" + std::to_string(EIO);
        Result logged;
        const std::vector<std::string> again =
            tree.io_calls(command, logged, {{"VTPAPERTOOL_FAULT", mark}});
        const long beside = index_of(again, "open " + journal + ".$$$", k) + 1;
        reset();
        const Result stopped =
            tree.run(command, {{"VTPAPERTOOL_FAULT",
                                mark + "," + std::to_string(beside) + ":" + std::to_string(EIO)}});
        EXPECT_EQ(stopped.status, 255);
        EXPECT_NE(stopped.err.find("the print system"), std::string::npos) << stopped.err;
        EXPECT_EQ(tree.run({"--check"}).out, "");
        EXPECT_FALSE(has_leftovers(tree.files()));
        const std::string told = told_format(stopped.err);
        EXPECT_EQ(without_format(tree.catalogue(), told), without_format(tree.registry(), told));
      }
    }
  }
}

// Another program appends to the function file and sets Copies=3 in place in the settings
// file, as a driver or an administrator would.
void write_as_another_program(const Tree& tree) {
  write_file(tree.inf / "vtlmq700kfunc", read_file(tree.inf / "vtlmq700kfunc") + "; later\n");
  const fs::path settings = tree.inf / "vtlmq700krc";
  std::fstream file(settings, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(static_cast<std::streamoff>(read_file(settings).find("Copies=1") + 7));
  file.put('3');
}

// A change killed at each point after its commit point, then finished by the next run,
// which may come days later, after other programs wrote to the data files (what they wrote
// stays), or be cut short itself at each of its calls, by SIGKILL or EIO: once a run gets
// through, the committed change is whole.
TEST(Store, FinishingACommittedChange) {
  Tree tree("lmq700k", true);
  const Files before = tree.files();
  const std::vector<std::string> calls = logged_calls(tree, kReplaceAsset);
  const Files after = tree.files();
  write_as_another_program(tree);
  const Files written = tree.files();
  const long commit = index_of(calls, "rename " + (tree.inf / kRecord).string()) + 1;
  const fs::path met = tree.dir / "met";
  for (long k = commit + 1; k <= static_cast<long>(calls.size()); ++k) {
    tree.restore(before);
    Result killed;
    ASSERT_TRUE(stop_and_signal(tree, kReplaceAsset, static_cast<int>(k), SIGKILL, killed));
    const Files cut_short = tree.files();
    if (k == commit + 1) {
      // A header that another program took away meanwhile stops the finish, as it stops an add.
      const std::string func = cut_short.at("vtlmq700kfunc");
      write_file(tree.inf / "vtlmq700kfunc", func.substr(0, func.find("[CustomTape]")));
      const Result stopped = tree.run({"--list"});
      EXPECT_NE(stopped.err.find("vtlmq700kfunc: has no [CustomTape] line"), std::string::npos);
      EXPECT_EQ(tree.files().count(kRecord), 1u);
      tree.restore(cut_short);
    }
    write_as_another_program(tree);
    EXPECT_EQ(tree.run({"--list"}).status, 0);
    EXPECT_EQ(tree.files(), written) << calls[k - 1];
    for (int j = 1, reached = 1; reached; ++j) {
      SCOPED_TRACE("install point " + std::to_string(k) + ", recovery call " + std::to_string(j));
      tree.restore(cut_short);
      reached = stop_and_signal(tree, {"--list"}, j, SIGKILL, killed);
      EXPECT_EQ(tree.run({"--list"}).status, 0);
      EXPECT_EQ(tree.files(), after);
      tree.restore(cut_short);
      fs::remove(met);
      const Result failed = tree.run(
          {"--list"}, {{"VTPAPERTOOL_FAULT", std::to_string(j) + ":" + std::to_string(EIO)},
                       {"VTPAPERTOOL_FAULT_MET", met.string()}});
      EXPECT_EQ(failed.status, fs::exists(met) ? 255 : 0);
      EXPECT_EQ(tree.run({"--list"}).status, 0);
      EXPECT_EQ(tree.files(), after);
    }
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
  const int held = hold_lock(tree.inf);
  const Result timed_out = tree.run(kDeleteAsset, {{"VTPAPERTOOL_LOCK_WAIT", "1500"}});
  EXPECT_EQ(timed_out.out, "Resource temporarily unavailable\n");
  EXPECT_EQ(timed_out.status, 255);
  const std::string lock = "vtpapertoollpr_lmq700k: lock on " + tree.inf.string() + ": ";
  EXPECT_EQ(timed_out.err, lock + "held by another run; waiting up to 1 s\n" + lock +
                               "Resource temporarily unavailable (held by another run for 1 s)\n");
  EXPECT_EQ(tree.files(), before);
  EXPECT_EQ(tree.sibling_log(), "");
  // A run that waits for the lock goes on once it is let go.
  const pid_t waiting = tree.start(kDeleteAsset);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(tree.sibling_log(), "");
  ::close(held);
  EXPECT_EQ(tree.finish(waiting).status, 0);
  EXPECT_EQ(tree.run({"--list"}).out, "");
}

// Runs at once take turns; started with SIGCHLD ignored, as some daemons start their
// children, each still learns that the sibling tool succeeded.
TEST(Store, RunsAtOnceTakeTurns) {
  Tree tree("lmq700k");
  for (const char* command : {"-n", "-d"}) {
    struct sigaction ignore {};
    struct sigaction kept {};
    ignore.sa_handler = command[1] == 'd' ? SIG_IGN : SIG_DFL;
    ::sigaction(SIGCHLD, &ignore, &kept);
    std::vector<pid_t> runs;
    for (int i = 0; i < 8; ++i) {
      Words args{"-P", "q1", command, "N" + std::to_string(i)};
      if (command[1] == 'n') args.insert(args.end(), {"-w", "12", "-h", "50"});
      runs.push_back(tree.start(args));  // one clock for all: only the key check keeps them apart
    }
    ::sigaction(SIGCHLD, &kept, nullptr);
    for (const pid_t run : runs) EXPECT_EQ(tree.finish(run).status, 0);
    const std::string listing = tree.run({"--list"}).out;
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), command[1] == 'n' ? 9 : 1)
        << listing;
    EXPECT_EQ(listing.find("incomplete"), std::string::npos) << listing;
  }
  EXPECT_EQ(tree.catalogue(), tree.registry());
}

// The print system, or the driver, may write the data files while the sibling tool runs:
// what it wrote stays, and the change is made on top of it, also where a setting changed
// in place and the file kept its size.
TEST(Store, WritesMadeDuringTheSiblingCallAreKept) {
  for (const Words& command : {kReplaceAsset, kDeleteAsset, kNewFormat}) {
    SCOPED_TRACE(command[2] + " " + command[3]);
    Tree tree("lmq700k");
    write_file(tree.lpd / "standin.during",
               "cd \"$(dirname \"$0\")/../inf\"\n"
               "echo \"; written during $1\" >>vtlmq700kfunc\n"
               "[ \"$1\" = delete ] || exit 0\n"
               "at=$(( $(grep -bo Copies=1 vtlmq700krc | cut -d: -f1) + 7 ))\n"
               "printf 2 | dd of=vtlmq700krc bs=1 seek=$at conv=notrunc 2>/dev/null\n");
    EXPECT_EQ(tree.run(command).status, 0);
    EXPECT_EQ(tree.catalogue(), tree.registry());
    EXPECT_NE(read_file(tree.inf / "vtlmq700kfunc").find("\n; written during delete\n"),
              std::string::npos);
    EXPECT_NE(read_file(tree.inf / "vtlmq700krc").find("\nCopies=2\n"), std::string::npos);
  }
}

// Records and temporary files as a crash, or someone else, left them: a committed record
// is finished; an uncommitted one commits the steps marked as taken effect and only those,
// from copies made again, never the copies left beside the files; one this program cannot
// have written is removed, and standard error says so. What is not a regular file under
// one of the program's names is never touched.
TEST(Store, RecoveryOfRecords) {
  const std::string journal = std::string(kRecord) + ".$$$";
  const std::string steps =
      "step\tfirst\tcall\nfile\tImagingArea\t\nrule\tdrop\tVtL_vtS24mm__0716064A0F3E\t\n"
      "step\tsecond call\nfile\tpaperinflmq700k\tVtL_x/Tab\\there:\\t1\\t2\\n\n"
      "rule\tdrop\tVtL_vtS24mm__0716064A0F3E\t\n";
  enum Takes { kNothing, kFirst, kSecond, kBoth, kCopies, kRefused };
  // clang-format off
  const struct {
    std::string what, name, text;  // text "<link>": a link to a record; "<dir>": a directory
    Takes takes;
    bool told;  // standard error names a record removed as not this program's
  } rows[] = {
      {"an earlier version's committed record", kRecord, "paperinflmq700k\nImagingArea\n", kCopies, true},
      {"a record naming another file", kRecord, "paperinflmq700k\n../../../etc/passwd\n", kNothing, true},
      {"a record without its last line feed", kRecord, "paperinflmq700k\nImagingArea", kNothing, true},
      {"a record longer than any of ours", kRecord, std::string(5000, '\n'), kNothing, true},
      {"a record that is a link", kRecord, "<link>", kRefused, false},
      {"a record that is a directory", kRecord, "<dir>", kRefused, false},
      {"a temporary file that is a directory", "vtlmq700kfunc.$$$", "<dir>", kRefused, false},
      {"no step took effect", journal, steps, kNothing, false},
      {"the first step took effect", journal, steps + "done\t0\n", kFirst, false},
      {"the second step only", journal, steps + "done\t1\n", kSecond, false},
      {"both steps", journal, steps + "done\t0\ndone\t1\n", kBoth, false},
      {"a mark cut short", journal, steps + "done\t0\ndone\t", kFirst, false},
      {"a file read as dated before 1970", journal, steps + "read\tImagingArea\t2049\t18446744073709551615\t9\t-315619200\t0\t-1\t5\ndone\t0\n", kFirst, false},
      {"a mark of no step", journal, steps + "done\t0\ndone\t2\n", kNothing, true},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Tree tree("lmq700k");
    const Files before = tree.files();
    Files wanted = before;
    const std::string imaging = before.at("ImagingArea");
    const std::string paper = before.at("paperinflmq700k");
    if (row.takes == kFirst || row.takes == kBoth)
      wanted["ImagingArea"] = imaging.substr(0, imaging.find("VtL"));
    if (row.takes == kSecond || row.takes == kBoth) {
      wanted["paperinflmq700k"] = paper.substr(0, paper.find("VtL")) + "VtL_x/Tab\there:\t1\t2\n";
    }
    for (const char* name : {"paperinflmq700k", "ImagingArea"}) {
      write_file(tree.inf / (std::string(name) + ".$$$"), std::string("copy ") + name + "\n");
      if (row.takes == kCopies) wanted[name] = std::string("copy ") + name + "\n";
    }
    if (row.name != journal) write_file(tree.inf / journal, "half written");
    write_file(tree.dir / "valid", "paperinflmq700k\nImagingArea\n");
    if (row.text == "<link>") fs::create_symlink(tree.dir / "valid", tree.inf / row.name);
    if (row.text == "<dir>") fs::create_directories(tree.inf / row.name / "kept");
    if (row.text[0] != '<') write_file(tree.inf / row.name, row.text);
    if (row.takes == kRefused) wanted = tree.files();
    for (int run = 0; run < 2; ++run) {
      const Result result = tree.run({"--list"});
      EXPECT_EQ(result.status, row.takes == kRefused ? 255 : 0) << result.err;
      EXPECT_EQ(result.err.find("not a record of this program") != std::string::npos,
                row.told && run == 0)
          << result.err;
      EXPECT_EQ(tree.files(), wanted);
    }
    EXPECT_TRUE(row.text != "<dir>" || fs::exists(tree.inf / row.name / "kept"));
  }
}

}  // namespace
