#include "kinetra/editor/fault_injection.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace kinetra::editor {

void AllocationPoint(const char* stage) {
    static const char* const failing = std::getenv("KINETRA_FAIL_ALLOCATION");
    if (failing && std::strcmp(failing, stage) == 0) throw std::bad_alloc();
}

}  // namespace kinetra::editor
