// What a command handler is handed, a plug-in's registry rows, and the dispatch through them.
#pragma once

#include <cstring>
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

// What `kinetra help` tells of a command beside its arguments.
struct CommandNote {
    const char* family;   // the heading it is listed under
    const char* summary;  // what it does, in a line
    const char* example;  // a line of a script that checks clean
};

// What a handler does to the buffers beyond what its table says, for the checker's proof that
// a script keeps nothing from frame to frame. The cautious reading is the default.
enum class CommandEffect : uint8_t {
    kDrawsInto,    // draws, blends or changes in place: what it writes it also reads
    kOverwrites,   // writes every pixel or sample of its destination rectangle
    kKeepsState,   // a generator of its own runs on from frame to frame
    kContinues,    // overwrites, and its wave goes on from the frame before but at its line's first
    kSetsFont,     // stores the font every later text draws with, in this frame and after
    kDrawsText,    // draws with the stored font
    kSwapsImages,  // exchanges the frame's image (buffer 0) and the scratch image (buffer 1)
};

// One command of a plug-in: its name, the table its arguments are read through, its handler,
// which is handed them converted and checked, what help tells of it and what it does beyond
// its table. `Values` is the plug-in's view of the
// arguments (the buffers as pictures or as sound); its Read converts and checks them.
template <typename Values>
struct CommandRow {
    const char* name;
    ArgumentTable arguments;
    void (*run)(const Values& args);
    CommandNote note;
    CommandEffect effect = CommandEffect::kDrawsInto;
};

// The first row of `name`: a line is offered to it, whatever rows of that name follow.
template <typename Row, size_t N>
const Row* FindCommand(std::span<const Row, N> rows, const char* name) {
    for (const Row& row : rows) {
        if (strcmp(row.name, name) == 0) return &row;
    }
    return nullptr;
}

// Runs a command line through the first row of its name: the arguments read through the
// row's table, the handler run unless they say the command does nothing. False when no row
// has the line's name. The values live on the stack: nothing is allocated per line.
template <typename Values>
bool Dispatch(std::span<const CommandRow<Values>> rows, CommandCall& call) {
    const CommandRow<Values>* row = FindCommand(rows, call.line.command);
    if (!row) return false;
    Values args;
    if (args.Read(call, row->arguments)) row->run(args);
    return true;
}

// The table of a command that takes no arguments.
inline constexpr ArgumentTable kNoArguments{};

// Arguments::Read, and every buffer the table names has memory behind it (a careless host
// may hand no image or no samples; that buffer is absent).
bool ReadArguments(const CommandCall& call, ArgumentTable table, Arguments& args);

}  // namespace kinetra
