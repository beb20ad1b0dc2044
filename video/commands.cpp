#include "video/commands.h"

namespace kinetra::video {
namespace {

// Dispatch order: a line is offered to the first entry of its name.
constexpr CommandEntry kCommands[] = {
    {"", nullptr},  // placeholder until the first command lands; matches no loaded line
};

}  // namespace

std::span<const CommandEntry> Commands() { return {kCommands + 1, kCommands + 1}; }

void ReleaseCommandState() {}

}  // namespace kinetra::video
