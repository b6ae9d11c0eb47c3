// Serialises the runs that change the files of one directory.
#ifndef VTPAPERTOOL_STORE_LOCK_H_
#define VTPAPERTOOL_STORE_LOCK_H_

#include <cstdint>
#include <string>

#include "store/fault.h"

// Takes an exclusive lock on the directory, waiting at most patience_ms for another run
// to let go of it. A directory that was replaced while this run waited is locked afresh,
// so that two runs never each hold a lock on a different directory of the same name.
// Sets lock to the descriptor that holds the lock until it is closed, closed on exec so
// that a lingering sibling tool never keeps it. Fails with EWOULDBLOCK when the wait ran
// out, with anything else when the directory cannot be opened or locked. No file is
// created.
Fault lock_directory(const std::string& directory, int64_t patience_ms, Descriptor& lock);

#endif  // VTPAPERTOOL_STORE_LOCK_H_
