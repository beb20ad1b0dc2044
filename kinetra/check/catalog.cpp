#include "kinetra/check/catalog.h"

#include "audio/commands.h"
#include "video/commands.h"

namespace kinetra::check {

std::vector<KnownCommand> PluginCommands() {
    std::vector<KnownCommand> known;
    for (const auto& registry : {video::Commands(), audio::Commands()}) {
        for (const CommandEntry& entry : registry) known.push_back({entry.name, *entry.arguments});
    }
    return known;
}

}  // namespace kinetra::check
