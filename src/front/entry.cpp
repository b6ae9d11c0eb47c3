#include "front/entry.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "front/request.h"
#include "front/scan.h"
#include "front/usage.h"
#include "ops/format_ops.h"
#include "store/lock.h"
#include "store/rewrite.h"

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 255;
constexpr char kVersionLine[] = "vtpapertoollpr 0.2\n";

void print_system_error(int error) { std::printf("%s\n", std::strerror(error)); }

// The add command is a delete followed by an add, so that adding replaces a format of
// the same name; a failed add must not pass for success once the delete has run.
int run_add(const FormatRequest& request) {
  const int deleted = delete_label_format(request);
  if (deleted == kDataFileFailed) {
    print_system_error(errno);
    return kFailure;
  }
  if (deleted == kSiblingFailed) return kFailure;
  return add_label_format(request) == kDone ? kSuccess : kFailure;
}

int run_delete(const FormatRequest& request) {
  switch (delete_label_format(request)) {
    case kDataFileFailed:
      print_system_error(errno);
      return kFailure;
    case kSiblingFailed:
      return kFailure;
    case kNotFound:
      std::printf("Not found '%s'\n", request.label_name.c_str());
      return kSuccess;
    default:
      return kSuccess;
  }
}

// Without its data directory a model has no file to change, and the operations report
// that as they go; any other reason not to get the lock would let runs collide.
int run_locked(Command command, const FormatRequest& request) {
  remove_temporary_on_signals();
  const int lock = lock_data_directory(request.model_id);
  if (lock < 0 && errno != ENOENT) {
    print_system_error(errno);
    return kFailure;
  }
  // Leftover temporary files are cleared only under the lock: without it they could be
  // another run's.
  if (lock >= 0) remove_stale_temporaries(request.model_id);
  const int status = command == Command::kAdd ? run_add(request) : run_delete(request);
  unlock_data_directory(lock);
  return status;
}

}  // namespace

int run_tool(const std::vector<std::string>& words) {
  FormatRequest request;
  const std::string invocation_name = words.empty() ? "" : words[0];
  if (!identify_model(invocation_name, request)) {
    std::printf("%s is invalid.\n\n", invocation_name.c_str());
    return kSuccess;
  }
  if (words.size() == 2 && words[1] == "--version") {
    std::fputs(kVersionLine, stdout);
    return kSuccess;
  }
  const Command command = scan_command_line(words, request);
  if (command == Command::kUsage) {
    print_usage_screen(request);
    return kSuccess;
  }
  return run_locked(command, request);
}
