// The sound commands, each in the file of its family, and their registry.
#pragma once

#include <span>

#include "host/command.h"

namespace kinetra::audio {

// Names and handlers in dispatch order.
std::span<const CommandEntry> Commands();

// Releases what single commands keep between frames.
void ReleaseCommandState();

}  // namespace kinetra::audio
