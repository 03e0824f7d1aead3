// /X: a command template run through the command interpreter for every
// selected file and, after its contents, every selected directory.
#pragma once

namespace kesto {

// The operation of /X: 1 goes on, 0 stops the walk.
int execute_entry();

}  // namespace kesto
