#include "host/command.h"

namespace kinetra {

bool ReadArguments(const CommandCall& call, ArgumentTable table, Arguments& args) {
    if (!args.Read(call.line, table)) return false;
    for (const ArgumentSpec& argument : table) {
        if (argument.role == Role::kBuffer && !call.buffers.slots[args[argument.number]]) return false;
    }
    return true;
}

}  // namespace kinetra
