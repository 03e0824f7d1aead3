#include "cpu.h"

namespace plat {

bool cpu_has(CpuFeature feature) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();  // may run before the runtime's own constructors
    switch (feature) {
    case CpuFeature::ssse3: return __builtin_cpu_supports("ssse3");
    case CpuFeature::avx2: return __builtin_cpu_supports("avx2");
    case CpuFeature::pclmul: return __builtin_cpu_supports("pclmul");
    case CpuFeature::vpclmulqdq: return __builtin_cpu_supports("vpclmulqdq");
    }
#else
    (void)feature;
#endif
    return false;
}

}  // namespace plat
