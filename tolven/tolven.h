#pragma once

namespace tolven {

// The whole program; returns its exit code.
int tolven_main(int argc, char** argv);

}  // namespace tolven
