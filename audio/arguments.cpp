#include "audio/arguments.h"

#include <algorithm>

namespace kinetra::audio {

bool SoundArguments::Read(CommandCall& command, ArgumentTable table) {
    call = &command;
    n = command.frame->sample_count;
    c = command.frame->channel_count;
    threads = std::max(command.threads, 1);
    return n >= 1 && c >= 1 && ReadArguments(command, table, *this);
}

}  // namespace kinetra::audio
