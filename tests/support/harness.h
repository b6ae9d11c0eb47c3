// Throwaway directories and driver trees, and the built program run as a process.
#ifndef VTPAPERTOOL_TESTS_SUPPORT_HARNESS_H_
#define VTPAPERTOOL_TESTS_SUPPORT_HARNESS_H_

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

// A fresh directory, removed with everything in it when the test ends, pass or fail. It is
// made in base when given, else in $TMPDIR or /tmp.
struct TempDir {
  explicit TempDir(const std::string& base = "");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string path;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& contents);
bool file_exists(const std::string& path);
// Names in dir, sorted.
std::vector<std::string> list_directory(const std::string& dir);

struct RunResult {
  int status = -1;  // the exit status, or 128 + the signal that ended the program
  std::string out;  // everything written to standard output
};

// A program started and not yet waited for; out_fd reads its standard output.
struct Started {
  pid_t pid = -1;
  int out_fd = -1;
};

// Runs executable with the argument vector words (words[0] is the invocation name), in
// directory cwd, with env added to the environment.
RunResult run_program(const std::string& executable, const std::vector<std::string>& words,
                      const std::map<std::string, std::string>& env = {},
                      const std::string& cwd = "");

// run_program in two halves, so that a test can act on the program while it runs.
Started start_program(const std::string& executable, const std::vector<std::string>& words,
                      const std::map<std::string, std::string>& env = {},
                      const std::string& cwd = "");
// Reads the program's output to its end, then waits for it.
RunResult finish_program(const Started& started);

// The sibling stand-in's log: each call's words, calls in order.
using SiblingCalls = std::vector<std::vector<std::string>>;

// One model's driver tree under a throwaway root, with the sibling stand-in installed and
// the test build of the program linked as vtpapertoollpr_<model>.
struct DriverTree {
  explicit DriverTree(const std::string& model, const std::string& base = "");
  std::string inf(const std::string& file) const;  // a data file's path
  std::string function_file() const;
  std::string paper_table() const;
  std::string settings_file() const;
  std::string imaging_area() const;
  std::vector<std::string> data_files() const;
  std::map<std::string, std::string> snapshot() const;  // data file path -> contents
  std::string lpd(const std::string& file) const;       // beside the sibling tool
  void make_sibling_fail(const std::string& which = "") const;
  SiblingCalls sibling_calls() const;
  // Runs the program under the model's name; the clock reads 7.123456 unless clock is set.
  RunResult run(const std::vector<std::string>& options, const std::string& clock = "7.123456",
                const std::map<std::string, std::string>& env = {}) const;
  Started start(const std::vector<std::string>& options, const std::string& clock = "7.123456",
                const std::map<std::string, std::string>& env = {}) const;
  // Writes every file of contents back, as snapshot() took them.
  void restore(const std::map<std::string, std::string>& contents) const;

  TempDir dir;
  std::string model;
  std::string root;
  std::string link;
};

#endif  // VTPAPERTOOL_TESTS_SUPPORT_HARNESS_H_
