#include "host/script_file.h"

#include "platform/platform.h"

namespace kinetra {
namespace {

constexpr char kScriptName[] = "animation.txt";

}  // namespace

void ScriptFile::Refresh(Script& script, FilterTable* filter, FrameContext* frame) {
    EditFileInfo info{};
    HostServices* services = filter ? filter->services : nullptr;
    if (services && services->query_edit_file) services->query_edit_file(frame->edit_handle, &info);
    sampling_rate_ = info.sampling_rate;

    const char* edited = info.path ? info.path : "";
    path_.assign(edited, CurrentPlatform().FolderPrefixLength(edited));
    path_ += kScriptName;
    void* edit = frame->edit_handle;
    script.Refresh(path_, frame->frame_count, [services, edit](int32_t end) {
        if (services && services->set_edit_length) services->set_edit_length(edit, end);
    });
}

}  // namespace kinetra
