#include "video/commands.h"

#include "video/arguments.h"

namespace kinetra::video {

bool RunCommand(CommandCall& call) { return Dispatch<ImageArguments>(kCommands, call); }

void ReleaseCommandState() { ReleaseTextState(); }

}  // namespace kinetra::video
