// A family's kernel: one function signature, a form for some of the levels, set once where the
// table is defined. A level without a form of its own takes the highest form below it, down to
// the portable form every kernel has. Callers ask the table, never the level.
#pragma once

#include <array>

#include "kernels/level.h"

// A vector form in a table: left out (no form at that level) where the build has no vector kernels.
#if defined(KINETRA_VECTOR_KERNELS)
#define KINETRA_VECTOR_FORM(form) form
#else
#define KINETRA_VECTOR_FORM(form) nullptr
#endif

namespace kinetra {

constexpr int kKernelLevels = 4;

template <typename Form>
class KernelTable {
public:
    // `name` is for the table test and the benchmarks. Forms above the portable one may be nullptr.
    constexpr KernelTable(const char* name, Form portable, Form sse2 = nullptr, Form avx2 = nullptr,
                          Form avx512 = nullptr)
        : name_(name), own_{portable, sse2, avx2, avx512} {}

    // The form that runs at `level`: its own, or the highest one below it. Looked up at each
    // call rather than filled in while compiling, where a sanitizer build cannot tell whether a
    // function's address is null.
    Form At(KernelLevel level) const {
        int at = static_cast<int>(level);
        while (at > 0 && own_[at] == nullptr) --at;
        return own_[at];
    }
    // The form that runs at the active level.
    Form Active() const { return At(ActiveKernelLevel()); }
    // The form written for `level` itself, or nullptr.
    Form Own(KernelLevel level) const { return own_[static_cast<int>(level)]; }
    const char* Name() const { return name_; }

    template <typename... Args>
    decltype(auto) operator()(Args&&... args) const {
        return Active()(static_cast<Args&&>(args)...);
    }

private:
    const char* name_;
    std::array<Form, kKernelLevels> own_;
};

}  // namespace kinetra
