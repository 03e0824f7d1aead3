#pragma once

namespace nevrik {

// The whole program; returns its error level.
int nevrik_main(int argc, char** argv);

}  // namespace nevrik
