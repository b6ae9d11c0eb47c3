#include <sys/time.h>
#include <syslog.h>

#include <cstdlib>

#include "store/seam.h"

// VTPAPERTOOL_ROOT lets one build serve a staged tree or several simulated hosts.
std::string vantrel_root() {
  const char* root = std::getenv("VTPAPERTOOL_ROOT");
  return root != nullptr && *root != '\0' ? root : VANTREL_ROOT;
}

ClockReading read_clock() {
  timeval now{};
  gettimeofday(&now, nullptr);
  return {static_cast<int64_t>(now.tv_sec), static_cast<int64_t>(now.tv_usec)};
}

int64_t lock_patience_ms() { return 30000; }

size_t line_block_size() { return size_t{1} << 17; }

void write_system_log(const std::string& program, int priority, const std::string& line) {
  // openlog keeps the pointer, not the text.
  static std::string ident;
  ident = program.substr(program.rfind('/') + 1);
  ::openlog(ident.c_str(), LOG_PID, LOG_USER);
  ::syslog(priority, "%s", line.c_str());
  ::closelog();
}

int injected_fault(const char*, const std::string&) { return 0; }
