// mirelk, the binary file patch program: finds a byte pattern in a range of
// a file and reports every occurrence, or replaces each one with a pattern
// of the same length, in place or in a copy of the file.
#pragma once

namespace mirelk {

// The whole program; returns its error level.
int mirelk_main(int argc, char** argv);

}  // namespace mirelk
