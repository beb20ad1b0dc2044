#include "video/arguments.h"

#include "video/pixels.h"

namespace kinetra::video {

bool ImageArguments::Read(CommandCall& command, std::span<const ArgumentSpec> table) {
    call = &command;
    size = {command.frame->max_width, command.frame->max_height};
    threads = std::max(command.threads, 1);
    if (!ReadArguments(command, table, *this) || size.width <= 0 || size.height <= 0) return false;
    for (const ArgumentSpec& argument : table) {
        if (argument.role == Role::kWidth) value[argument.number] = ClampSize(value[argument.number], size.width);
        if (argument.role == Role::kHeight) value[argument.number] = ClampSize(value[argument.number], size.height);
    }
    return true;
}

}  // namespace kinetra::video
