// The editor loads, uses and unloads a plug-in many times in one process: after ExitFilter no
// worker thread may be left running inside the library.
#include <gtest/gtest.h>

#ifdef _WIN32
#include "platform/windows_api.h"
#include <tlhelp32.h>
#else
#include <dirent.h>
#endif

#include <chrono>
#include <string>
#include <thread>

#include "kinetra/editor/filter_host.h"
#include "tests/support/test_platform.h"

namespace kinetra {
namespace {

int ThreadCount() {
    int count = 0;
#ifdef _WIN32
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    }
    CloseHandle(snapshot);
    return count;
#else
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return -1;
    while (dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.';
    closedir(tasks);
    return count;
#endif
}

// The thread count once exiting threads have left: a user-mode emulator wakes pthread_join
// before the host thread behind it is gone, so give a joined thread a moment to disappear. A
// worker left running never does.
int SettledThreadCount(int expected) {
    int count = ThreadCount();
    for (int wait = 0; wait < 200 && count != expected; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        count = ThreadCount();
    }
    return count;
}

TEST(PluginLifecycle, LoadRenderExitUnloadTwentyTimes) {
    testing::TempFolder folder;
    folder.Write("animation.txt", "copy(2,0,0,0,i,j,0,0)\nalpha(0,2,0,0,i,j,0,0,0.5)\na_volume(0,1)\n");
    for (const char* name : {"dizorud.auf", "dizorud_audio.auf"}) {
        for (int round = 0; round < 20; ++round) {
            SCOPED_TRACE(std::string(name) + " round " + std::to_string(round));
            std::string error;
            auto host = editor::FilterHost::Load(std::string(KINETRA_PLUGIN_DIR) + "/" + name, error);
            ASSERT_TRUE(host) << error;
            // Counted once the library is in: a system may start threads of its own when it
            // first loads one (Wine does), but every worker starts with a frame.
            const int threads_loaded = ThreadCount();
            host->edited_path = (folder.path() / "clip.avi").string();
            host->tracks[0] = 4;
            host->UpdateSettings();
            editor::VideoFrame frame(64, 48, round, 100);
            std::vector<int16_t> samples(800 * 2, 100);
            frame.context.audio_samples = samples.data();
            frame.context.sample_count = 800;
            frame.context.channel_count = 2;
            ASSERT_EQ(host->Process(frame.Prepare()), 1);
            ASSERT_EQ(host->Exit(), 1);
            EXPECT_EQ(SettledThreadCount(threads_loaded), threads_loaded);
            host.reset();  // unloads the library
        }
    }
}

}  // namespace
}  // namespace kinetra
