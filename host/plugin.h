// One plug-in's state and its three callbacks: everything between the host and the commands.
#pragma once

#include "host/buffers.h"
#include "host/command.h"
#include "host/script_file.h"
#include "kinetra/filter_abi.h"
#include "script/script.h"

namespace kinetra {

// What tells the two plug-ins apart behind the shared callbacks.
struct PluginDefinition {
    const BufferLayout& layout;
    bool (*run_command)(CommandCall& call);  // through its registry row; false when none has its name
    void (*release_command_state)();         // objects single commands keep; may be null
};

class Plugin {
public:
    explicit Plugin(const PluginDefinition& definition) : definition_(definition) {}

    // Refresh the script, fill the buffer table, run the script, show the display buffer.
    int32_t ProcessFrame(FilterTable* filter, FrameContext* frame);
    int32_t UpdateSettings(FilterTable* filter);
    int32_t Exit();

    Script& script() { return script_; }
    BufferTable& buffers() { return buffers_; }
    // Worker threads of the parallel loops: the "スレッド数" track bar once the host has set
    // it, the parallel runtime's default before; within the track bar's range either way.
    int threads() const;

private:
    // Runs the statements covering the frame, each command line through the registry.
    void RunScript(FilterTable* filter, FrameContext* frame);
    // The own buffers, the objects single commands keep, and what the script lines own.
    void ReleaseWorkMemory();

    const PluginDefinition& definition_;
    Script script_;
    ScriptFile script_file_;
    BufferTable buffers_;
    int threads_ = 0;
};

// The static description of a plug-in: the shared track bars and the given texts and callbacks.
FilterTable DescribeFilter(int32_t flags, const char* name, const char* information,
                           ProcessFrameFn process, ExitFilterFn exit, UpdateSettingsFn update);

// The same description with the three callbacks bound to the plug-in `Instance` returns.
template <Plugin& (*Instance)()>
FilterTable DescribeFilter(int32_t flags, const char* name, const char* information) {
    struct Callbacks {
        static int32_t KINETRA_CALL Process(FilterTable* filter, FrameContext* frame) {
            return Instance().ProcessFrame(filter, frame);
        }
        static int32_t KINETRA_CALL Exit(FilterTable*) { return Instance().Exit(); }
        static int32_t KINETRA_CALL Update(FilterTable* filter, int32_t) {
            return Instance().UpdateSettings(filter);
        }
    };
    return DescribeFilter(flags, name, information, Callbacks::Process, Callbacks::Exit,
                          Callbacks::Update);
}

// The allocation message and its caption, as the host shows them (Shift-JIS).
extern const char kAllocationMessage[];
extern const char kMessageCaption[];

}  // namespace kinetra
