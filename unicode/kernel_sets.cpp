// Which kernel sets the processor has, and the tests' limit on them.
#include "unicode/simd_vector.h"

#if defined(VELK_UTF_SSE2)
namespace velk {
namespace {

KernelSet allowed = KernelSet::kAvx512;

// The best set this processor has.
KernelSet Processor() {
  static const KernelSet best = [] {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("ssse3") || !__builtin_cpu_supports("popcnt"))
      return KernelSet::kSse2;
    // (The checks include the operating system's support for the state.)
    if (__builtin_cpu_supports("avx512f") &&
        __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512vbmi2"))
      return KernelSet::kAvx512;
    return KernelSet::kSsse3;
  }();
  return best;
}

bool Has(KernelSet set) { return Processor() >= set && allowed >= set; }

}  // namespace

bool HasSsse3() { return Has(KernelSet::kSsse3); }
bool HasAvx512() { return Has(KernelSet::kAvx512); }
void LimitKernels(KernelSet best) { allowed = best; }

}  // namespace velk
#endif  // VELK_UTF_SSE2
