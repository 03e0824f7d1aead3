#pragma once

namespace zobrin {

// The whole program; returns its error level.
int zobrin_main(int argc, char** argv);

}  // namespace zobrin
