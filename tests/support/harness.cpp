#include "support/harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
  if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
  for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  ::execv(executable.c_str(), argv.data());
  ::_exit(127);
}

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base ? base : "/tmp") + "/vtpapertool-test.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path = pattern;
}

TempDir::~TempDir() { remove_tree(path); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
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

RunResult run_program(const std::string& executable, const std::vector<std::string>& words,
                      const std::map<std::string, std::string>& env, const std::string& cwd) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const pid_t child = ::fork();
  if (child == 0) exec_child(executable, words, env, cwd, pipe_fds[1]);
  ::close(pipe_fds[1]);
  RunResult result;
  char block[4096];
  for (ssize_t got; (got = ::read(pipe_fds[0], block, sizeof block)) > 0;) {
    result.out.append(block, static_cast<size_t>(got));
  }
  ::close(pipe_fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

DriverTree::DriverTree(const std::string& model_id) : model(model_id) {
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

RunResult DriverTree::run(const std::vector<std::string>& options, const std::string& clock,
                          const std::map<std::string, std::string>& env) const {
  std::vector<std::string> words{link};
  words.insert(words.end(), options.begin(), options.end());
  std::map<std::string, std::string> full_env = env;
  full_env["VTPAPERTOOL_ROOT"] = root;
  if (!clock.empty()) full_env["VTPAPERTOOL_CLOCK"] = clock;
  return run_program(link, words, full_env, dir.path);
}
