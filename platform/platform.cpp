#include "platform/platform.h"

#include <cstdlib>

namespace kinetra {
namespace {

Platform* installed = nullptr;

}  // namespace

void* Platform::AllocateZeroed(size_t bytes) { return calloc(bytes, 1); }

void Platform::Release(void* block) { free(block); }

Platform& CurrentPlatform() { return installed ? *installed : SystemPlatform(); }

Platform* InstallPlatform(Platform* platform) {
    Platform* previous = installed ? installed : &SystemPlatform();
    installed = platform == &SystemPlatform() ? nullptr : platform;
    return previous;
}

}  // namespace kinetra
