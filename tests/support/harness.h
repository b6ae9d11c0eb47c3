// A throwaway driver tree and the test build of the program run against it.
#ifndef VTPAPERTOOL_TESTS_SUPPORT_HARNESS_H_
#define VTPAPERTOOL_TESTS_SUPPORT_HARNESS_H_

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using Words = std::vector<std::string>;
using Env = std::map<std::string, std::string>;
using Files = std::map<std::string, std::string>;  // file name in inf/ -> contents

struct Result {
  int status = -1;  // the exit status, or 128 + the signal that ended the program
  std::string out;
  std::string err;
};

std::string read_file(const fs::path& path);
void write_file(const fs::path& path, const std::string& contents);

// The sample tree of examples/<model> (or an empty inf/ for other models) under a fresh
// root, with the sibling stand-in, removed with everything in it when the test ends.
// memory puts it on /dev/shm where there is one, for tests that run the program often.
struct Tree {
  explicit Tree(const std::string& model = "lmq700k", bool memory = false);
  ~Tree();

  // Runs the test build as "vtpapertoollpr_<model>" (or as name, when given), with the
  // clock fixed at 7.123456 unless env sets it.
  Result run(const Words& args, const Env& env = {}, const std::string& name = "") const;
  pid_t start(const Words& args, const Env& env = {}, const std::string& name = "") const;
  // Runs the test build as the user uid, in group uid and group 7, as root can; the tree
  // must let that user in.
  Result run_as(uid_t uid, const Words& args) const;
  Result finish(pid_t pid) const;
  Files files() const;  // every file in inf/, the program's own included
  void restore(const Files& files) const;
  // "<name>\t<key>" of every format: as --list shows the files (after its recovery), and
  // as the sibling stand-in's registry holds them, which stands for the print system.
  std::set<std::string> catalogue() const;
  std::set<std::string> registry() const;
  // Runs the command and gives back its I/O calls, "<call> <subject>", in order.
  std::vector<std::string> io_calls(const Words& args, Result& result, Env env = {}) const;
  std::string sibling_log() const;
  std::string sibling_calls() const;  // each call's option, "-d" or "-n", in call order

  std::string model;
  fs::path dir, root, inf, lpd;

 private:
  pid_t spawn(const char* program, const Words& words, const Env& env) const;

 public:
  fs::path out;  // where standard output goes; empty: the program starts with it closed
};

#endif  // VTPAPERTOOL_TESTS_SUPPORT_HARNESS_H_
