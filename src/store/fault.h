// How a failure travels up to the one place that reports it: as a value that names the
// error and the file it was about, taken where the call failed, so that no cleanup on the
// way up can overwrite it.
#ifndef VTPAPERTOOL_STORE_FAULT_H_
#define VTPAPERTOOL_STORE_FAULT_H_

#include <string>

struct Fault {
  int error = 0;        // the errno value; 0 when why says it all
  std::string subject;  // the file, or the program, the failure was about
  std::string why;      // replaces the system's message for error, when not empty
};

inline bool failed(const Fault& fault) { return fault.error != 0 || !fault.why.empty(); }

// The failure of the call just made about subject, as errno tells it.
Fault fault_from_errno(const std::string& subject);

// why, or the system's message for error.
std::string reason(const Fault& fault);

// "<subject>: <reason>", or the reason alone for a fault about no one thing.
std::string described(const Fault& fault);

// A file descriptor that is closed when it goes out of scope. Where a failed close must be
// reported, close_checked (store/sys_io.h) gives it up first.
struct Descriptor {
  int fd = -1;

  Descriptor() = default;
  explicit Descriptor(int descriptor) : fd(descriptor) {}
  Descriptor(Descriptor&& other) noexcept : fd(other.release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept;
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor();

  int release();
};

#endif  // VTPAPERTOOL_STORE_FAULT_H_
