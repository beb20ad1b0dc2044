// The script the plug-ins run: "animation.txt" in the folder of the file the host edits, found
// and reloaded through the host's services.
#pragma once

#include <cstdint>
#include <string>

#include "kinetra/filter_abi.h"
#include "script/script.h"

namespace kinetra {

class ScriptFile {
public:
    // Asks the host for the edited file and the edit's sampling rate, and refreshes `script`
    // from the script beside that file (Script::Refresh); a range that ends past the edit asks
    // the host to lengthen it. Without the host's services the current folder is looked in.
    void Refresh(Script& script, FilterTable* filter, FrameContext* frame);

    // The edit's sampling rate at the last refresh; 0 when the host gave none.
    int32_t sampling_rate() const { return sampling_rate_; }

private:
    std::string path_;  // reused from frame to frame
    int32_t sampling_rate_ = 0;
};

}  // namespace kinetra
