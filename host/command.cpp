#include "host/command.h"

#include <cstring>

namespace kinetra {

const CommandEntry* FindCommand(std::span<const CommandEntry> commands, const char* name) {
    for (const CommandEntry& command : commands) {
        if (strcmp(command.name, name) == 0) return &command;
    }
    return nullptr;
}

bool ReadArguments(const CommandCall& call, std::span<const ArgumentSpec> table, Arguments& args) {
    if (!args.Read(call.line, table)) return false;
    for (const ArgumentSpec& argument : table) {
        if (argument.role == Role::kBuffer && !call.buffers.slots[args[argument.number]]) return false;
    }
    return true;
}

}  // namespace kinetra
