#include "platform/win32.h"

#include <time.h>

#include <cstring>
#include <new>

#include "platform/platform.h"
#include "platform/shift_jis.h"

namespace kinetra {
namespace {

win32::MessageBoxFunction message_box = MessageBoxA;

class Win32Platform final : public Platform {
public:
    bool ReadFileTime(const std::string& path, FileTime& time) override {
        // Share mode 0: a file that another program holds open is not read this second.
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        FILETIME written;
        const bool read = GetFileTime(file, nullptr, nullptr, &written) != 0;
        CloseHandle(file);
        if (!read) return false;  // an unknown time must not pass for an unchanged one
        static_assert(sizeof written == sizeof(FileTime));
        memcpy(time.data(), &written, sizeof written);
        return true;
    }

    size_t FolderPrefixLength(const char* path) override {
        size_t prefix = 0;
        for (size_t i = 0; path[i] != '\0'; ++i) {
            const auto c = static_cast<unsigned char>(path[i]);
            if (IsShiftJisLeadByte(c)) {
                if (path[i + 1] == '\0') break;
                ++i;  // the trail byte is part of the character, never a separator
            } else if (c == '\\') {
                prefix = i + 1;
            }
        }
        return prefix;
    }

    void ShowAllocationMessage(const char* message, const char* caption) override {
        message_box(nullptr, message, caption, MB_OK | MB_ICONERROR);
    }

    int64_t CurrentSecond() override { return static_cast<int64_t>(_time64(nullptr)); }

    TextRenderer& Text() override { return SystemTextRenderer(); }
};

}  // namespace

namespace win32 {

MessageBoxFunction InstallMessageBox(MessageBoxFunction show) {
    const MessageBoxFunction previous = message_box;
    message_box = show ? show : MessageBoxA;
    return previous;
}

}  // namespace win32

// Never destroyed: the plug-in's own state, destroyed when the library unloads, may come
// later and still release its memory through it.
Platform& SystemPlatform() {
    alignas(Win32Platform) static unsigned char storage[sizeof(Win32Platform)];
    static Platform* const platform = new (storage) Win32Platform;
    return *platform;
}

}  // namespace kinetra
