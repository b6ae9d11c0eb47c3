#include "support/harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

void remove_tree(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    ::chmod(path.c_str(), 0700);
    for (const std::string& name : list_directory(path)) remove_tree(path + "/" + name);
    ::rmdir(path.c_str());
  } else {
    ::unlink(path.c_str());
  }
}

void copy_file(const std::string& from, const std::string& to, mode_t mode) {
  write_file(to, read_file(from));
  ::chmod(to.c_str(), mode);
}

void make_directories(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    ::mkdir(path.substr(0, slash).c_str(), 0755);
  }
  ::mkdir(path.c_str(), 0755);
}

// Sample files for the models that examples/ has no tree for.
void write_generic_tree(const std::string& inf, const std::string& model) {
  write_file(inf + "/vt" + model + "func", "[Device]\nResolution=300\n[CustomTape]\n[End]\n");
  write_file(inf + "/paperinf" + model, "Plain/Plain:\t100\t200\n");
  write_file(inf + "/vt" + model + "rc", "Media=Plain\nCopies=1\n");
  write_file(inf + "/ImagingArea", "Plain\t:\t0.00\t0.00\t10.00\t20.00\n");
}

std::vector<std::string> split_calls_line(const std::string& log) {
  std::vector<std::string> lines;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

[[noreturn]] void exec_child(const std::string& executable, const std::vector<std::string>& words,
                             const std::map<std::string, std::string>& env, const std::string& cwd,
                             int out_fd) {
  ::dup2(out_fd, STDOUT_FILENO);
  // A shell without job control starts background commands with SIGINT ignored; tests that
  // send signals must not depend on how the suite was started.
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal_number, SIG_DFL);
  if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
  for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  ::execv(executable.c_str(), argv.data());
  ::_exit(127);
}

}  // namespace

TempDir::TempDir(const std::string& base) {
  const char* tmpdir = std::getenv("TMPDIR");
  const std::string parent = !base.empty() ? base : tmpdir ? tmpdir : "/tmp";
  std::string pattern = parent + "/vtpapertool-test.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path = pattern;
}

TempDir::~TempDir() { remove_tree(path); }

// Reads in one piece of the file's size: the reliability loops read megabytes per run.
std::string read_file(const std::string& path) {
  std::string contents;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0) {
    if (fd >= 0) ::close(fd);
    return contents;
  }
  // One spare block, so that files whose size is not known in advance (/proc) are read too.
  contents.resize(static_cast<size_t>(info.st_size) + 4096);
  size_t done = 0;
  for (ssize_t got; (got = ::read(fd, contents.data() + done, contents.size() - done)) > 0;) {
    done += static_cast<size_t>(got);
    if (done == contents.size()) contents.resize(done + 4096);
  }
  contents.resize(done);
  ::close(fd);
  return contents;
}

void write_file(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
}

bool file_exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> list_directory(const std::string& dir) {
  std::vector<std::string> names;
  DIR* stream = ::opendir(dir.c_str());
  if (stream == nullptr) return names;
  while (const dirent* entry = ::readdir(stream)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(stream);
  std::sort(names.begin(), names.end());
  return names;
}

Started start_program(const std::string& executable, const std::vector<std::string>& words,
                      const std::map<std::string, std::string>& env, const std::string& cwd) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const pid_t child = ::fork();
  if (child == 0) exec_child(executable, words, env, cwd, pipe_fds[1]);
  ::close(pipe_fds[1]);
  return {child, pipe_fds[0]};
}

RunResult finish_program(const Started& started) {
  RunResult result;
  char block[4096];
  for (ssize_t got; (got = ::read(started.out_fd, block, sizeof block)) > 0;) {
    result.out.append(block, static_cast<size_t>(got));
  }
  ::close(started.out_fd);
  int status = 0;
  ::waitpid(started.pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

RunResult run_program(const std::string& executable, const std::vector<std::string>& words,
                      const std::map<std::string, std::string>& env, const std::string& cwd) {
  return finish_program(start_program(executable, words, env, cwd));
}

DriverTree::DriverTree(const std::string& model_id, const std::string& base)
    : dir(base), model(model_id) {
  root = dir.path + "/opt";
  const std::string inf_dir = root + "/" + model + "/bin/inf";
  make_directories(inf_dir);
  make_directories(root + "/" + model + "/bin/lpd");
  const std::string sample = std::string(SOURCE_DIR) + "/examples/" + model + "/bin/inf";
  if (file_exists(sample)) {
    for (const std::string& name : list_directory(sample)) {
      copy_file(sample + "/" + name, inf_dir + "/" + name, 0644);
    }
  } else {
    write_generic_tree(inf_dir, model);
  }
  copy_file(std::string(SOURCE_DIR) + "/tools/vtpapertoolcups-standin",
            lpd("vtpapertoolcups_" + model), 0755);
  make_directories(dir.path + "/bin");
  link = dir.path + "/bin/vtpapertoollpr_" + model;
  ::symlink(TWIN_PATH, link.c_str());
}

std::string DriverTree::inf(const std::string& file) const {
  return root + "/" + model + "/bin/inf/" + file;
}
std::string DriverTree::function_file() const { return inf("vt" + model + "func"); }
std::string DriverTree::paper_table() const { return inf("paperinf" + model); }
std::string DriverTree::settings_file() const { return inf("vt" + model + "rc"); }
std::string DriverTree::imaging_area() const { return inf("ImagingArea"); }

std::vector<std::string> DriverTree::data_files() const {
  return {function_file(), paper_table(), settings_file(), imaging_area()};
}

std::map<std::string, std::string> DriverTree::snapshot() const {
  std::map<std::string, std::string> contents;
  for (const std::string& path : data_files()) contents[path] = read_file(path);
  return contents;
}

std::string DriverTree::lpd(const std::string& file) const {
  return root + "/" + model + "/bin/lpd/" + file;
}

void DriverTree::make_sibling_fail(const std::string& which) const {
  write_file(lpd("standin.fail"), which);
}

SiblingCalls DriverTree::sibling_calls() const {
  SiblingCalls calls(1);
  for (const std::string& line : split_calls_line(read_file(lpd("standin.log")))) {
    if (line.empty()) {
      calls.emplace_back();
    } else {
      calls.back().push_back(line);
    }
  }
  calls.pop_back();
  return calls;
}

Started DriverTree::start(const std::vector<std::string>& options, const std::string& clock,
                          const std::map<std::string, std::string>& env) const {
  std::vector<std::string> words{link};
  words.insert(words.end(), options.begin(), options.end());
  std::map<std::string, std::string> full_env = env;
  full_env["VTPAPERTOOL_ROOT"] = root;
  if (!clock.empty()) full_env["VTPAPERTOOL_CLOCK"] = clock;
  return start_program(link, words, full_env, dir.path);
}

RunResult DriverTree::run(const std::vector<std::string>& options, const std::string& clock,
                          const std::map<std::string, std::string>& env) const {
  return finish_program(start(options, clock, env));
}

void DriverTree::restore(const std::map<std::string, std::string>& contents) const {
  for (const auto& [path, bytes] : contents) write_file(path, bytes);
}
