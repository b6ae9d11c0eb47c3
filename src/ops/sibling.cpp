#include "ops/sibling.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "formats/layout.h"
#include "store/seam.h"

extern char** environ;

namespace {

std::string why_it_failed(int status) {
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  return "exited with status " + std::to_string(WEXITSTATUS(status));
}

// What the program and the tool do with signals while the tool runs, and what they did
// before, as system(3) arranges it: an interrupt at the terminal ends the tool, whose
// status then says so, and not this program half-way through a change. A parent that
// ignores SIGCHLD, as some daemons start their children, would have the kernel reap the
// tool before it could be waited for, and the tool would inherit the setting; waiting
// needs the default.
struct SignalsWhileRunning {
  struct sigaction interrupt {};
  struct sigaction quit {};
  sigset_t mask{};
};

SignalsWhileRunning hold_signals() {
  SignalsWhileRunning held;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGINT, &ignore, &held.interrupt);
  ::sigaction(SIGQUIT, &ignore, &held.quit);
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  ::sigaction(SIGCHLD, &standard, nullptr);
  sigset_t child{};
  sigemptyset(&child);
  sigaddset(&child, SIGCHLD);
  ::sigprocmask(SIG_BLOCK, &child, &held.mask);
  return held;
}

// An interrupt that comes once the tool has ended waits, like SIGTERM, until the call is
// recorded (release_stopping_signals): the print system has changed by then.
void release_signals(const SignalsWhileRunning& held) {
  sigset_t waiting = held.mask;
  sigaddset(&waiting, SIGINT);
  sigaddset(&waiting, SIGQUIT);
  ::sigprocmask(SIG_SETMASK, &waiting, nullptr);
  ::sigaction(SIGINT, &held.interrupt, nullptr);
  ::sigaction(SIGQUIT, &held.quit, nullptr);
}

// The tool starts with the signal mask and the dispositions the program was started with.
int spawn(const std::vector<std::string>& words, const SignalsWhileRunning& held,
          const sigset_t& mask, pid_t& pid) {
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults{};
  sigemptyset(&defaults);
  if (held.interrupt.sa_handler != SIG_IGN) sigaddset(&defaults, SIGINT);
  if (held.quit.sa_handler != SIG_IGN) sigaddset(&defaults, SIGQUIT);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &mask);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  const int error = ::posix_spawn(&pid, argv[0], nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  return error;
}

}  // namespace

HeldSignals hold_stopping_signals() {
  HeldSignals held;
  sigset_t stopping{};
  sigemptyset(&stopping);
  sigaddset(&stopping, SIGTERM);
  sigaddset(&stopping, SIGHUP);
  ::sigprocmask(SIG_BLOCK, &stopping, &held.before);
  return held;
}

void release_stopping_signals(const HeldSignals& held) {
  ::sigprocmask(SIG_SETMASK, &held.before, nullptr);
}

std::vector<std::string> add_command(const FormatRequest& request, const std::string& key) {
  return {sibling_tool_path(request.model_id),
          "-P",
          request.printer_name,
          "-n",
          request.label_name,
          "-w",
          std::to_string(request.width_mm),
          "-h",
          std::to_string(request.length_mm),
          "-specid",
          key,
          "-show",
          "1"};
}

std::vector<std::string> delete_command(const FormatRequest& request) {
  return {sibling_tool_path(request.model_id),
          "-P",
          request.printer_name,
          "-d",
          request.label_name,
          "-show",
          "1"};
}

Fault run_sibling_tool(const std::vector<std::string>& words, const HeldSignals& stopping) {
  const std::string& tool = words.front();
  std::fflush(stdout);
  // A tool that failed is no data file's failure: the reason is its own text.
  if (const int refused = injected_fault("sibling", tool); refused != 0 && refused != EINTR) {
    return {0, tool, std::strerror(refused)};
  }
  const SignalsWhileRunning held = hold_signals();
  pid_t pid = -1;
  int status = 0;
  int error = spawn(words, held, stopping.before, pid);
  while (error == 0 && ::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) error = errno;
  }
  release_signals(held);
  if (error != 0) return {0, tool, std::strerror(error)};
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  return {0, tool, why_it_failed(status)};
}
