// The test build's seam, from the environment variables that docs/REFERENCE.md lists.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "store/seam.h"

namespace {

const char* environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? "" : value;
}

// Returns the marker's name, made on reaching the stop or the fault.
const char* make_marker() {
  const char* marker = environment("VTPAPERTOOL_FAULT_MET");
  if (*marker != '\0') ::close(::open(marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  return marker;
}

void log_call(const char* call, const std::string& subject) {
  const char* log = environment("VTPAPERTOOL_IO_LOG");
  const std::string line = std::string(call) + " " + subject + "\n";
  const int fd = *log == '\0' ? -1 : ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd >= 0 && ::write(fd, line.data(), line.size()) >= 0) ::close(fd);
}

}  // namespace

std::string vantrel_root() { return environment("VTPAPERTOOL_ROOT"); }

ClockReading read_clock() {
  char* rest = nullptr;
  const long long seconds = std::strtoll(environment("VTPAPERTOOL_CLOCK"), &rest, 10);
  return {seconds, *rest == '.' ? std::strtoll(rest + 1, nullptr, 10) : 0};
}

int64_t lock_patience_ms() {
  const char* wait = environment("VTPAPERTOOL_LOCK_WAIT");
  return *wait == '\0' ? 30000 : std::strtoll(wait, nullptr, 10);
}

size_t line_block_size() {
  const long long block = std::strtoll(environment("VTPAPERTOOL_BLOCK"), nullptr, 10);
  return block > 0 ? static_cast<size_t>(block) : size_t{1} << 17;
}

// As syslog(3) sends it to /dev/log: "<facility and priority>name[pid]: line".
void write_system_log(const std::string& program, int priority, const std::string& line) {
  const char* path = environment("VTPAPERTOOL_LOG");
  if (*path == '\0') return;
  const std::string message = "<" + std::to_string(LOG_USER | priority) + ">" +
                              program.substr(program.rfind('/') + 1) + "[" +
                              std::to_string(::getpid()) + "]: " + line;
  sockaddr_un to{};
  to.sun_family = AF_UNIX;
  std::strncpy(to.sun_path, path, sizeof to.sun_path - 1);
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ::sendto(fd, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  ::close(fd);
}

int injected_fault(const char* call, const std::string& subject) {
  static long calls = 0;
  ++calls;
  log_call(call, subject);
  if (std::strtol(environment("VTPAPERTOOL_STOP"), nullptr, 10) == calls) {
    for (const char* marker = make_marker(); ::access(marker, F_OK) == 0;) ::usleep(1000);
  }
  for (const char* fault = environment("VTPAPERTOOL_FAULT"); *fault != '\0';) {
    char* rest = nullptr;
    const long target = std::strtol(fault, &rest, 10);
    if (*rest != ':') return 0;
    const int error = static_cast<int>(std::strtol(rest + 1, &rest, 10));
    if (calls == target) {
      make_marker();
      return error;
    }
    fault = *rest == ',' ? rest + 1 : rest;
  }
  return 0;
}
