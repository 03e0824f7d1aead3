// holmic, the file dump program: shows a byte range of a file as hex dump
// lines, copies it raw to a file or the console, and can overwrite it with
// the contents of another file.
#pragma once

namespace holmic {

// The whole program; returns its error level.
int holmic_main(int argc, char** argv);

}  // namespace holmic
