// What a command handler is handed, and the plug-in's registry of handlers.
#pragma once

#include <span>

#include "host/buffers.h"
#include "kinetra/filter_abi.h"
#include "script/arguments.h"
#include "script/script.h"

namespace kinetra {

struct CommandCall {
    ScriptLine& line;
    FilterTable* filter;
    FrameContext* frame;
    BufferTable& buffers;
    int threads;            // worker threads of the parallel loops; the calling thread is one
    int32_t sampling_rate;  // of the edit's sound, as the host last reported it
};

using CommandHandler = void (*)(CommandCall& call);

// A plug-in's registry: names in dispatch order, their handlers and the tables the handlers
// read their arguments through (for tools that check scripts; the handlers read their own).
struct CommandEntry {
    const char* name;
    CommandHandler run;
    const ArgumentTable* arguments;
};

// The first entry of `name`, where the registry's dispatch order offers a line; null if none.
const CommandEntry* FindCommand(std::span<const CommandEntry> commands, const char* name);

// The table of a command that takes no arguments.
inline constexpr ArgumentTable kNoArguments{};

// Arguments::Read, and every buffer the table names has memory behind it (a careless host
// may hand no image or no samples; that buffer is absent).
bool ReadArguments(const CommandCall& call, std::span<const ArgumentSpec> table, Arguments& args);

}  // namespace kinetra
