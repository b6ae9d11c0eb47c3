#include "store/fault.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

Fault fault_from_errno(const std::string& subject) { return {errno, subject, ""}; }

std::string reason(const Fault& fault) {
  return fault.why.empty() ? std::strerror(fault.error) : fault.why;
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
