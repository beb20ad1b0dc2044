#include "audio/commands.h"

namespace kinetra::audio {

bool RunCommand(CommandCall& call) { return Dispatch<SoundArguments>(kCommands, call); }

// The fetched frame's samples go with the own block; the noise generator runs on.
void ReleaseCommandState() { ForgetFetchedFrame(); }

}  // namespace kinetra::audio
