// Serialises the runs that change one model's data files.
#ifndef VTPAPERTOOL_STORE_LOCK_H_
#define VTPAPERTOOL_STORE_LOCK_H_

#include <string>

// Waits for an exclusive lock on the model's data directory and returns the descriptor
// that holds it, or -1 with errno set when the directory cannot be opened or locked.
// The descriptor is closed on exec, so a sibling tool that lingers never keeps the lock.
// No file is created.
int lock_data_directory(const std::string& model_id);

// Releases a lock taken by lock_data_directory; -1 is ignored.
void unlock_data_directory(int lock_fd);

#endif  // VTPAPERTOOL_STORE_LOCK_H_
