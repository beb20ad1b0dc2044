// The floating-point environment every computation of the plug-ins runs in.
#pragma once

#include <cfenv>
#ifdef __SSE2__
#include <xmmintrin.h>
#endif

namespace kinetra {

// Round to nearest, exceptions masked, no flush of denormals: the same doubles whatever the
// host set. Worker threads install it at the start of each parallel loop.
inline void InstallDefaultFloatEnv() {
    fesetenv(FE_DFL_ENV);
#ifdef __SSE2__
    // Not every C runtime's default resets the SSE control register (MinGW's keeps its rounding
    // and flush bits as the host left them): all exceptions masked, round to nearest, no flush.
    _mm_setcsr(0x1F80);
#endif
}

// Installs the default on the calling thread and gives the caller's environment back at the end.
class ScopedDefaultFloatEnv {
public:
    ScopedDefaultFloatEnv() {
        fegetenv(&saved_);
        InstallDefaultFloatEnv();
    }
    ~ScopedDefaultFloatEnv() { fesetenv(&saved_); }
    ScopedDefaultFloatEnv(const ScopedDefaultFloatEnv&) = delete;
    ScopedDefaultFloatEnv& operator=(const ScopedDefaultFloatEnv&) = delete;

private:
    std::fenv_t saved_;
};

}  // namespace kinetra
