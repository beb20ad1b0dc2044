#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "platform/platform.h"
#include "platform/shift_jis.h"

namespace kinetra {
namespace {

class PosixPlatform final : public Platform {
public:
    bool ReadFileTime(const std::string& path, FileTime& time) override {
        struct stat info {};
        if (stat(path.c_str(), &info) != 0) return false;
        const int64_t seconds = info.st_mtim.tv_sec;
        const int64_t nanoseconds = info.st_mtim.tv_nsec;
        // 8 bytes that change whenever the file is written; only equality matters.
        const uint64_t packed = static_cast<uint64_t>(seconds) * 1000000000u +
                                static_cast<uint64_t>(nanoseconds);
        memcpy(time.data(), &packed, sizeof packed);
        return true;
    }

    size_t FolderPrefixLength(const char* path) override {
        const char* slash = strrchr(path, '/');
        return slash ? static_cast<size_t>(slash - path) + 1 : 0;
    }

    void ShowAllocationMessage(const char* message, const char* caption) override {
        fprintf(stderr, "%s: %s\n", ShiftJisToUtf8(caption).c_str(), ShiftJisToUtf8(message).c_str());
    }

    int64_t CurrentSecond() override { return static_cast<int64_t>(::time(nullptr)); }

    TextRenderer& Text() override { return SystemTextRenderer(); }
};

}  // namespace

// Never destroyed: the plug-in's own state, destroyed when the library unloads, may come
// later and still release its memory through it.
Platform& SystemPlatform() {
    alignas(PosixPlatform) static unsigned char storage[sizeof(PosixPlatform)];
    static Platform* const platform = new (storage) PosixPlatform;
    return *platform;
}

}  // namespace kinetra
