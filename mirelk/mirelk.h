#pragma once

namespace mirelk {

// The whole program; returns its error level.
int mirelk_main(int argc, char** argv);

}  // namespace mirelk
