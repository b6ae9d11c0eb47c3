// Serialises the runs that change one model's data files.
#ifndef VTPAPERTOOL_STORE_LOCK_H_
#define VTPAPERTOOL_STORE_LOCK_H_

#include <cstdint>
#include <string>

// Takes an exclusive lock on the model's data directory, waiting at most patience_ms for
// another run to let go of it. A directory that was replaced while this run waited is
// locked afresh, so that two runs never each hold a lock on a different directory of the
// same name. Returns the descriptor that holds the lock, closed on exec so that a
// lingering sibling tool never keeps it; or -1 with errno set: EWOULDBLOCK when the wait
// ran out, anything else when the directory cannot be opened or locked. No file is
// created.
int lock_data_directory(const std::string& model_id, int64_t patience_ms);

// Releases a lock taken by lock_data_directory; -1 is ignored.
void unlock_data_directory(int lock_fd);

#endif  // VTPAPERTOOL_STORE_LOCK_H_
