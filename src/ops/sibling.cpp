#include "ops/sibling.h"

#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "formats/layout.h"
#include "store/seam.h"

namespace {

bool is_plain_word(const std::string& value) {
  if (value.empty()) return false;
  for (const char c : value) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       std::string("_-.,:+=@%/").find(c) != std::string::npos;
    if (!plain) return false;
  }
  return true;
}

std::string single_quoted(const std::string& value) {
  std::string word = "'";
  for (const char c : value) {
    if (c == '\'') {
      word += "'\\''";
    } else {
      word += c;
    }
  }
  return word + "'";
}

// Plain words unchanged, anything else single-quoted, so that the shell takes every byte
// literally.
std::string shell_word(const std::string& value) {
  return is_plain_word(value) ? value : single_quoted(value);
}

// Inside double quotes where that is literal, as the sibling tool has always received the
// label name, otherwise single-quoted.
std::string shell_label_word(const std::string& value) {
  if (value.find_first_of("\"$`\\") != std::string::npos) return single_quoted(value);
  return "\"" + value + "\"";
}

std::string why_it_failed(int status, int error) {
  if (status == -1) return std::strerror(error);
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  return "exited with status " + std::to_string(WEXITSTATUS(status));
}

// A parent that ignores SIGCHLD, as some daemons and shells start their children, would
// have the kernel reap the shell before system() could wait for it, so that a call that
// succeeded would be taken for a failure ("No child processes"); and the sibling tool
// would inherit the same setting. Waiting needs the default.
void wait_for_children() {
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  ::sigaction(SIGCHLD, &standard, nullptr);
}

}  // namespace

std::string add_command_line(const FormatRequest& request, const std::string& key) {
  return shell_word(sibling_tool_path(request.model_id)) + "   -P " +
         shell_word(request.printer_name) + " -n " + shell_label_word(request.label_name) + " -w " +
         std::to_string(request.width_mm) + " -h " + std::to_string(request.length_mm) +
         " -specid " + key + " -show 1";
}

std::string delete_command_line(const FormatRequest& request) {
  return shell_word(sibling_tool_path(request.model_id)) + "   -P " +
         shell_word(request.printer_name) + " -d " + shell_label_word(request.label_name) +
         " -show 1";
}

Fault run_sibling_tool(const FormatRequest& request, const std::string& command_line) {
  std::fflush(stdout);
  wait_for_children();
  const std::string tool = sibling_tool_path(request.model_id);
  if (const int refused = injected_fault("sibling", tool); refused != 0 && refused != EINTR) {
    return {0, tool, std::strerror(refused)};
  }
  const int status = std::system(command_line.c_str());
  if (status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  return {0, tool, why_it_failed(status, errno)};
}
