// Drives a plug-in linked into the test program as the editor would, with a script of the
// test's choosing, a controlled clock and allocator, and a folder of its own.
#pragma once

#include <memory>
#include <string>

#include "kinetra/editor/filter_host.h"
#include "tests/support/test_platform.h"

namespace kinetra::testing {

class PluginHarness {
public:
    explicit PluginHarness(GetFilterTableFn get_table);
    ~PluginHarness();  // ExitFilter, so the next test starts without own buffers

    // Replaces the script; the next Process loads it.
    void SetScript(const std::string& text);
    // Runs one frame through ProcessFrame.
    int32_t Process(FrameContext& frame) { return host->Process(frame); }

    TestPlatform platform;
    TempFolder folder;
    std::unique_ptr<editor::FilterHost> host;

private:
    int version_ = 0;
};

}  // namespace kinetra::testing
