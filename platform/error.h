// Why the last call of this layer failed.
#pragma once

namespace plat {

// The OS error code of the last failed call of this layer (errno on POSIX,
// GetLastError() on Windows), for messages of the form "(%d/0x%lX)".
int last_error();

// True when code says that another program holds the file in a way that
// shuts this one out for a moment (Windows: a virus scanner or an indexer
// reading it); never on POSIX, whose files have no such locks.
bool is_sharing_violation(int code);

}  // namespace plat
