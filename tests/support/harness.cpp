#include "support/harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

extern char** environ;

namespace {

// What exec takes: the texts' pointers, then a null one. They live as long as texts.
std::vector<char*> pointers(const std::vector<std::string>& texts) {
  std::vector<char*> list;
  for (const std::string& text : texts) list.push_back(const_cast<char*>(text.c_str()));
  list.push_back(nullptr);
  return list;
}

}  // namespace

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const fs::path& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

Tree::Tree(const std::string& model_id, bool memory) : model(model_id) {
  const fs::path base =
      memory && fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  std::string pattern = (base / "vtpapertool-test.XXXXXX").string();
  dir = ::mkdtemp(pattern.data());
  root = dir / "root";
  out = dir / "out";
  inf = root / model / "bin/inf";
  lpd = root / model / "bin/lpd";
  fs::create_directories(lpd);
  const fs::path sample = fs::path(SOURCE_DIR) / "examples" / model / "bin/inf";
  if (fs::exists(sample)) fs::copy(sample, inf);
  fs::create_directories(inf);
  fs::copy_file(fs::path(SOURCE_DIR) / "tools/vtpapertoolcups-standin",
                lpd / ("vtpapertoolcups_" + model));
  // The print system starts out holding the sample's formats.
  const std::string registry = model == "lmq700k" ? "Asset24\tVtL_vtS24mm__0716064A0F3E\n" : "";
  write_file(lpd / "standin.registry", registry);
}

Tree::~Tree() {
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

Result Tree::run_as(uid_t uid, const Words& args) const {
  const fs::path program = dir / ("vtpapertoollpr_" + model);
  if (!fs::exists(program)) fs::create_symlink(TWIN_PATH, program);
  Words words{"setpriv", "--reuid=" + std::to_string(uid), "--regid=" + std::to_string(uid),
              "--groups=7", program.string()};
  words.insert(words.end(), args.begin(), args.end());
  return finish(spawn("/usr/bin/setpriv", words, {}));
}

pid_t Tree::start(const Words& args, const Env& env, const std::string& name) const {
  Words words{name.empty() ? "vtpapertoollpr_" + model : name};
  words.insert(words.end(), args.begin(), args.end());
  return spawn(TWIN_PATH, words, env);
}

pid_t Tree::spawn(const char* program, const Words& words, const Env& env) const {
  Env all{{"VTPAPERTOOL_ROOT", root.string()}, {"VTPAPERTOOL_CLOCK", "7.123456"}};
  for (const auto& [name, value] : env) all[name] = value;
  std::vector<std::string> texts;
  for (char** entry = environ; *entry != nullptr; ++entry) texts.emplace_back(*entry);
  for (const auto& [name, value] : all) texts.push_back(name + "=" + value);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const int flags = O_WRONLY | O_CREAT | O_TRUNC;
  out.empty() ? posix_spawn_file_actions_addclose(&actions, 1)
              : posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), flags, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (dir / "err").c_str(), flags, 0644);
  pid_t pid = -1;
  posix_spawn(&pid, program, &actions, nullptr, pointers(words).data(), pointers(texts).data());
  posix_spawn_file_actions_destroy(&actions);
  // A run that loops without end fails its test in seconds, not at the suite's timeout.
  const struct rlimit cpu { 10, 10 };
  ::prlimit(pid, RLIMIT_CPU, &cpu, nullptr);
  return pid;
}

Result Tree::finish(pid_t pid) const {
  int status = 0;
  ::waitpid(pid, &status, 0);
  Result result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (fs::is_regular_file(out)) result.out = read_file(out);
  result.err = read_file(dir / "err");
  return result;
}

Result Tree::run(const Words& args, const Env& env, const std::string& name) const {
  return finish(start(args, env, name));
}

Files Tree::files() const {
  Files files;
  if (!fs::exists(inf)) return files;
  for (const auto& entry : fs::directory_iterator(inf)) {
    std::error_code loop;
    files[entry.path().filename().string()] =
        entry.is_regular_file(loop) ? read_file(entry.path()) : "<not a file>";
  }
  return files;
}

void Tree::restore(const Files& files) const {
  for (const auto& entry : fs::directory_iterator(inf)) fs::remove_all(entry.path());
  for (const auto& [name, contents] : files) write_file(inf / name, contents);
}

std::set<std::string> Tree::catalogue() const {
  std::istringstream listing(run({"--list"}).out);
  std::set<std::string> formats;
  for (std::string line; std::getline(listing, line);) {
    const size_t width = line.find('\t');
    const size_t key = line.find('\t', line.find('\t', width + 1) + 1);
    formats.insert(line.substr(0, width) + "\t" + line.substr(key + 1, 25));
  }
  return formats;
}

std::set<std::string> Tree::registry() const {
  std::istringstream held(read_file(lpd / "standin.registry"));
  std::set<std::string> formats;
  for (std::string line; std::getline(held, line);) formats.insert(line);
  return formats;
}

std::vector<std::string> Tree::io_calls(const Words& args, Result& result, Env env) const {
  const fs::path log = dir / "io.log";
  fs::remove(log);
  env["VTPAPERTOOL_IO_LOG"] = log.string();
  result = run(args, env);
  std::istringstream lines(read_file(log));
  std::vector<std::string> calls;
  for (std::string line; std::getline(lines, line);) calls.push_back(line);
  return calls;
}

std::string Tree::sibling_log() const { return read_file(lpd / "standin.log"); }

std::string Tree::sibling_calls() const {
  std::istringstream log(sibling_log());
  std::string calls;
  int word = 0;
  for (std::string line; std::getline(log, line);) {
    if (++word == 3) calls += (calls.empty() ? "" : " ") + line;
    if (line.empty()) word = 0;
  }
  return calls;
}
