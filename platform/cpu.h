// What the processor offers beyond the instructions every build may use, for
// the routines that keep a faster form for it (asked once, at start).
#pragma once

namespace plat {

enum class CpuFeature { ssse3, avx2, pclmul, vpclmulqdq };

// False for every feature on processors outside the x86 family.
bool cpu_has(CpuFeature feature);

}  // namespace plat
