#include "kernels/level.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>


namespace kinetra {
namespace {

KernelLevel DetectLevel() {
#if defined(KINETRA_VECTOR_KERNELS)
    __builtin_cpu_init();
    // The AVX2 forms may use fused multiply-adds: every processor with AVX2 has them.
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                        __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
    return !avx2 ? KernelLevel::kSSE2 : avx512 ? KernelLevel::kAVX512 : KernelLevel::kAVX2;
#else
    return KernelLevel::kPortable;
#endif
}

KernelLevel LevelFromEnvironment(KernelLevel machine) {
    const char* wanted = std::getenv("KINETRA_KERNEL_LEVEL");
    if (wanted == nullptr) return machine;
    for (KernelLevel level : {KernelLevel::kPortable, KernelLevel::kSSE2, KernelLevel::kAVX2, KernelLevel::kAVX512}) {
        if (std::strcmp(wanted, KernelLevelName(level)) == 0) return std::min(level, machine);
    }
    return machine;
}

std::atomic<KernelLevel>& Active() {
    static std::atomic<KernelLevel> active{LevelFromEnvironment(MachineKernelLevel())};
    return active;
}

}  // namespace

KernelLevel MachineKernelLevel() {
    static const KernelLevel machine = DetectLevel();
    return machine;
}

KernelLevel ActiveKernelLevel() { return Active().load(std::memory_order_relaxed); }

void SetKernelLevel(KernelLevel level) {
    Active().store(std::min(level, MachineKernelLevel()), std::memory_order_relaxed);
}

const char* KernelLevelName(KernelLevel level) {
    switch (level) {
        case KernelLevel::kPortable: return "portable";
        case KernelLevel::kSSE2: return "sse2";
        case KernelLevel::kAVX2: return "avx2";
        case KernelLevel::kAVX512: return "avx512";
    }
    return "?";
}

}  // namespace kinetra
