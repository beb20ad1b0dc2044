// The floating-point environment every computation of the plug-ins runs in.
#pragma once

#include <cfenv>

namespace kinetra {

// Round to nearest, exceptions masked, no flush of denormals: the same doubles whatever the
// host set. Worker threads install it at the start of each parallel loop.
inline void InstallDefaultFloatEnv() { fesetenv(FE_DFL_ENV); }

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
