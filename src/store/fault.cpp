#include "store/fault.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

Fault fault_from_errno(const std::string& subject) { return {errno, subject, ""}; }

std::string reason(const Fault& fault) {
  return fault.why.empty() ? std::strerror(fault.error) : fault.why;
}

std::string described(const Fault& fault) {
  return fault.subject.empty() ? reason(fault) : fault.subject + ": " + reason(fault);
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    if (fd >= 0) ::close(fd);
    fd = other.release();
  }
  return *this;
}

Descriptor::~Descriptor() {
  if (fd >= 0) ::close(fd);
}

int Descriptor::release() {
  const int held = fd;
  fd = -1;
  return held;
}
