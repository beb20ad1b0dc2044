// The image commands, each in the file of its family, and their registry.
#pragma once

#include <span>

#include "host/command.h"

namespace kinetra::video {

// Names and handlers in dispatch order.
std::span<const CommandEntry> Commands();

// Releases what single commands keep between frames (the text command's drawing objects).
void ReleaseCommandState();

}  // namespace kinetra::video
