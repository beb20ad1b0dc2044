// The few services the plug-ins need from the operating system, behind one interface so that
// a Win32 and a POSIX implementation share everything else, and tests can replace the clock,
// the file times, the allocator and the text renderer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/text_renderer.h"

namespace kinetra {

using FileTime = std::array<uint8_t, 8>;  // compared as raw bytes, never interpreted

class Platform {
public:
    virtual ~Platform() = default;

    // The script file's last-write time; false when the file cannot be opened, or another
    // program holds it open where the system can tell.
    virtual bool ReadFileTime(const std::string& path, FileTime& time) = 0;

    // Length of the folder part of `path`, its last separator included; 0 when it has none.
    virtual size_t FolderPrefixLength(const char* path) = 0;

    // Tells the user that the work memory could not be allocated (`message` is Shift-JIS).
    virtual void ShowAllocationMessage(const char* message, const char* caption) = 0;

    // The calendar time in whole seconds.
    virtual int64_t CurrentSecond() = 0;

    // Zero-filled memory, or null; and its release. The C library's on every system.
    virtual void* AllocateZeroed(size_t bytes);
    virtual void Release(void* block);

    // The text command's renderer.
    virtual TextRenderer& Text() = 0;
};

// The operating system's own services (platform/posix.cpp or platform/win32.cpp).
Platform& SystemPlatform();

// The platform in force: the system's own unless a test installed another.
Platform& CurrentPlatform();

// Installs `platform` (null restores the system's own) and returns the one it replaced.
Platform* InstallPlatform(Platform* platform);

}  // namespace kinetra
