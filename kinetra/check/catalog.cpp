#include "kinetra/check/catalog.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <map>

#include "audio/commands.h"
#include "host/track_bars.h"
#include "video/commands.h"

namespace kinetra::check {
namespace {

// The registry rows without their handlers: read while compiling, so that the checker links
// none of the commands' code.
constexpr auto kKnownCommands = []() consteval {
    std::array<KnownCommand, std::size(video::kCommands) + std::size(audio::kCommands)> known{};
    size_t next = 0;
    for (const auto& row : video::kCommands) known[next++] = {row.name, row.arguments, false, row.note, row.effect};
    for (const auto& row : audio::kCommands) known[next++] = {row.name, row.arguments, true, row.note, row.effect};
    return known;
}();

}  // namespace

std::span<const KnownCommand> PluginCommands() { return kKnownCommands; }

const KnownCommand* FindPluginCommand(std::string_view name) {
    for (const KnownCommand& command : kKnownCommands) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

std::string VariableTrackBars() {
    std::string letters, range;
    std::map<int32_t, std::string> by_default;  // default value -> its letters
    for (const TrackBar& t : kTrackBars) {
        if (!t.variable) continue;
        letters += letters.empty() ? "" : " ";
        letters += t.variable;
        std::string& same = by_default[t.default_value];
        same += same.empty() ? "" : " ";
        same += t.variable;
        const std::string this_range = std::to_string(t.minimum) + ".." + std::to_string(t.maximum);
        range = range.empty() || range == this_range ? this_range : "";
    }
    // The default most bars share is said once, the others with their letters.
    const auto most = std::max_element(by_default.begin(), by_default.end(), [](const auto& a, const auto& b) {
        return a.second.size() < b.second.size();
    });
    std::string defaults = "default " + std::to_string(most->first);
    for (const auto& [value, named] : by_default) {
        if (value != most->first) defaults += ", " + named + " " + std::to_string(value);
    }
    return letters + " (" + (range.empty() ? "" : range + "; ") + defaults + ")";
}

}  // namespace kinetra::check
