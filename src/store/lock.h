// Serialises the runs that change one model's data files.
#ifndef VTPAPERTOOL_STORE_LOCK_H_
#define VTPAPERTOOL_STORE_LOCK_H_

#include <string>

// Waits for an exclusive lock on the model's data directory and returns the descriptor
// that holds it, or -1 with errno set when the directory cannot be opened or locked.
// The descriptor is closed on exec, so a sibling tool that lingers never keeps the lock.
// No file is created.
int lock_data_directory(const std::string& model_id);

// Removes the temporary files of the model's data files. Only the holder of the lock may
// call it: then any such file was left by a run that was killed, and a command that
// rewrites only some of the data files would otherwise leave it there for good. Failures
// are ignored; a rewrite removes its own temporary file again before creating it.
void remove_stale_temporaries(const std::string& model_id);

// Releases a lock taken by lock_data_directory; -1 is ignored.
void unlock_data_directory(int lock_fd);

#endif  // VTPAPERTOOL_STORE_LOCK_H_
