// What the Win32 platform lets a test change: the one call that waits for a person.
#pragma once

#include "platform/windows_api.h"

namespace kinetra::win32 {

using MessageBoxFunction = int(WINAPI*)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);

// Installs `show` in place of MessageBoxA (null restores it) and returns the one it replaced,
// so that a headless test run records the allocation message instead of waiting on a box.
MessageBoxFunction InstallMessageBox(MessageBoxFunction show);

}  // namespace kinetra::win32
