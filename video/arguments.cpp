#include "video/arguments.h"

#include "video/pixels.h"

namespace kinetra::video {

bool ImageArguments::Read(CommandCall& command, ArgumentTable table) {
    call = &command;
    size = {command.frame->max_width, command.frame->max_height};
    threads = std::max(command.threads, 1);
    if (!ReadArguments(command, table, *this)) return false;
    // Without pixels a buffer holds nothing to work on; the commands that name none (swapbuf,
    // dispsize, font) act on the frame or on what later commands draw.
    const bool no_pixels = size.width <= 0 || size.height <= 0;
    for (const ArgumentSpec& argument : table) {
        if (argument.role == Role::kBuffer && no_pixels) return false;
        if (argument.role == Role::kWidth) value[argument.number] = ClampSize(value[argument.number], size.width);
        if (argument.role == Role::kHeight) value[argument.number] = ClampSize(value[argument.number], size.height);
    }
    return true;
}

}  // namespace kinetra::video
