// The editor loads, uses and unloads a plug-in many times in one process: after ExitFilter no
// worker thread may be left running inside the library.
#include <gtest/gtest.h>

#include <dirent.h>

#include <string>

#include "kinetra/lib/filter_host.h"
#include "tests/support/test_platform.h"

namespace kinetra {
namespace {

int ThreadCount() {
    int count = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return -1;
    while (dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.';
    closedir(tasks);
    return count;
}

TEST(PluginLifecycle, LoadRenderExitUnloadTwentyTimes) {
    testing::TempFolder folder;
    folder.Write("animation.txt", "copy(2,0,0,0,i,j,0,0)\nalpha(0,2,0,0,i,j,0,0,0.5)\na_volume(0,1)\n");
    const int threads_before = ThreadCount();
    for (const char* name : {"dizorud.auf", "dizorud_audio.auf"}) {
        for (int round = 0; round < 20; ++round) {
            SCOPED_TRACE(std::string(name) + " round " + std::to_string(round));
            std::string error;
            auto host = host::FilterHost::Load(std::string(KINETRA_PLUGIN_DIR) + "/" + name, error);
            ASSERT_TRUE(host) << error;
            host->edited_path = (folder.path() / "clip.avi").string();
            host->tracks[0] = 4;
            host->UpdateSettings();
            host::VideoFrame frame(64, 48, round, 100);
            std::vector<int16_t> samples(800 * 2, 100);
            frame.context.audio_samples = samples.data();
            frame.context.sample_count = 800;
            frame.context.channel_count = 2;
            ASSERT_EQ(host->Process(frame.Prepare()), 1);
            ASSERT_EQ(host->Exit(), 1);
            EXPECT_EQ(ThreadCount(), threads_before);
            host.reset();  // unloads the library
        }
    }
}

}  // namespace
}  // namespace kinetra
