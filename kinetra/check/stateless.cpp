#include "kinetra/check/stateless.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <vector>

#include "formula/formula.h"
#include "host/track_bars.h"
#include "script/script.h"

namespace kinetra::check {
namespace {

// Buffer 0 is the frame the host hands in. Every other buffer outlives the frame: the plug-ins'
// own, and the picture host's scratch image, which it keeps from frame to frame.
constexpr int kFrameBuffer = 0;
// The sound plug-in fetches a frame of the edit into buffer 9 and hands the same samples to the
// next fetch of that frame without reading them again: a write into buffer 9 between the two
// reaches the later fetch.
constexpr int kSoundFetchBuffer = 9;

bool StartsWith(const char* text, std::string_view prefix) { return std::string_view(text).starts_with(prefix); }

// How a buffer row is used, from its meaning: a source, a key and a mask that a destination is
// made through are read; a destination is written; a command's only buffer is changed in place.
enum class Use : uint8_t { kRead, kWritten, kChanged };

Use UseOf(const ArgumentSpec& row, ArgumentTable table) {
    if (StartsWith(row.meaning, "source") || StartsWith(row.meaning, "key")) return Use::kRead;
    if (StartsWith(row.meaning, "destination")) return Use::kWritten;
    if (StartsWith(row.meaning, "mask")) {
        // A mask beside a destination is read; without one, the mask is what the command makes.
        const bool has_destination = std::any_of(table.begin(), table.end(), [](const ArgumentSpec& a) {
            return a.role == Role::kBuffer && StartsWith(a.meaning, "destination");
        });
        return has_destination ? Use::kRead : Use::kWritten;
    }
    return Use::kChanged;
}

// A coordinate of a rectangle's corner: any other pixel count is a size.
bool IsPosition(const ArgumentSpec& row) {
    if (row.unit != Unit::kPixels || row.role != Role::kValue) return false;
    const std::string_view meaning(row.meaning);
    return meaning.ends_with("x") || meaning.ends_with("y") || meaning.ends_with("column") || meaning.ends_with("row");
}

// Whether a picture command's rectangles are the whole image: every corner at 0 and every width
// and height at least the image's. Anything less is not proven to write it all.
bool CoversImage(ArgumentTable table, const Arguments& args, int32_t width, int32_t height) {
    return std::all_of(table.begin(), table.end(), [&](const ArgumentSpec& row) {
        if (row.role == Role::kWidth) return args[row.number] >= width;
        if (row.role == Role::kHeight) return args[row.number] >= height;
        return !IsPosition(row) || args[row.number] == 0;
    });
}

bool FetchesFrames(ArgumentTable table) {
    return std::any_of(table.begin(), table.end(), [](const ArgumentSpec& row) { return row.unit == Unit::kFrames; });
}

using Letters = uint64_t;  // one bit per variable slot
Letters Bit(char letter) { return Letters{1} << VariableSlot(letter); }

// The variables a formula reads, as the engine's own tokenizer sees them.
Letters LettersRead(const char* text) {
    FormulaToken tokens[kProgramCapacity + 1];
    if (Tokenize(tokens, text) != 0) return 0;  // a formula that cannot be read is 0, reading nothing
    Letters read = 0;
    for (const FormulaToken* t = tokens; t->code != kTokenEnd; ++t) {
        if ((t->code & ~0xFFu) == (kTokenVariable & ~0xFFu) && t->code != kTokenNumber) {
            read |= Letters{1} << ((t->code - kTokenVariable) & 0x3F);
        }
    }
    return read;
}

// The letters the executor sets before every line, whatever the frames before did.
Letters SetBeforeEveryLine() {
    Letters set = 0;
    for (char letter = 'A'; letter <= 'z'; ++letter) {
        if (check::SetBeforeEveryLine(letter)) set |= Bit(letter);
    }
    return set;
}

char LetterOf(Letters bits) { return static_cast<char>('A' + std::countr_zero(bits)); }

// Follows one plug-in through one frame: which buffers hold only what this frame made.
class FrameTrace {
public:
    FrameTrace(bool sound, int32_t width, int32_t height, int32_t source_frames)
        : sound_(sound), width_(width), height_(height), source_frames_(source_frames) {}

    void Start() {
        made_now_.fill(false);
        made_now_[kFrameBuffer] = true;
        font_set_now_ = false;
    }

    // Empty when the command keeps nothing; else why it does.
    std::string Run(const KnownCommand& command, const ScriptLine& line, int32_t frame) {
        Arguments args;
        if (!args.Read(line, command.arguments)) return {};  // out of range: it does nothing
        const CommandEffect effect = command.effect;
        const std::string name = command.name;
        if (effect == CommandEffect::kKeepsState) return name + " draws from a generator that runs on from frame to frame";
        if (effect == CommandEffect::kContinues && frame != line.start_frame) {
            return name + " goes on with the wave of the frame before";
        }
        if (effect == CommandEffect::kSetsFont) {
            font_set_now_ = true;
            return {};
        }
        if (effect == CommandEffect::kDrawsText && !font_set_now_) {
            return name + " draws with the font of an earlier frame: no font line runs before it in this frame";
        }
        if (effect == CommandEffect::kSwapsImages) {
            std::swap(made_now_[0], made_now_[1]);
            return {};
        }
        const bool fetches = FetchesFrames(command.arguments);
        // A picture fetch outside the clip writes nothing.
        if (fetches && !sound_) {
            for (const ArgumentSpec& row : command.arguments) {
                if (row.unit == Unit::kFrames && (args[row.number] < 0 || args[row.number] >= source_frames_)) return {};
            }
        }
        // Reads first: a command reads its sources before it writes its destination.
        const bool overwrites = effect == CommandEffect::kOverwrites || effect == CommandEffect::kContinues;
        for (const ArgumentSpec& row : command.arguments) {
            if (row.role != Role::kBuffer) continue;
            // What a command writes it also reads, unless it writes over it.
            if ((UseOf(row, command.arguments) == Use::kRead || !overwrites) && !made_now_[args[row.number]]) {
                return name + " reads buffer " + std::to_string(args[row.number]) +
                       " before this frame writes all of it";
            }
        }
        const bool whole = sound_ || CoversImage(command.arguments, args, width_, height_);
        for (const ArgumentSpec& row : command.arguments) {
            if (row.role != Role::kBuffer || UseOf(row, command.arguments) == Use::kRead) continue;
            const int32_t buffer = args[row.number];
            if (overwrites && whole) made_now_[buffer] = true;
            if (sound_ && buffer == kSoundFetchBuffer && !fetches) wrote_fetch_buffer_ = true;
        }
        if (sound_ && fetches) {
            fetched_ = true;
            made_now_[kSoundFetchBuffer] = true;
        }
        return {};
    }

    // Empty when the result of the frame holds only what the frame made.
    std::string Finish(int32_t display) const {
        if (made_now_[display]) return {};
        return "the shown buffer " + std::to_string(display) + " is not written whole in every frame";
    }

    // Once every frame ran: whether a fetch may have handed samples written over since.
    bool fetch_cache_touched() const { return fetched_ && wrote_fetch_buffer_; }

private:
    bool sound_;
    int32_t width_, height_, source_frames_;
    std::array<bool, kBufferCount> made_now_{};
    bool font_set_now_ = false;
    bool fetched_ = false, wrote_fetch_buffer_ = false;
};

// Hands each command line to the trace of the plug-in that runs it.
class Tracer final : public CommandSink, public ScriptListener {
public:
    Tracer(std::span<const KnownCommand> commands, const ClipFacts& clip)
        : commands_(commands),
          picture_(false, clip.width, clip.height, clip.frame_count),
          sound_(true, clip.width, clip.height, clip.frame_count),
          has_pictures_(clip.width > 0 && clip.height > 0),
          has_sound_(clip.sampling_rate > 0 && clip.channels > 0) {}

    void Statement(int32_t statement, int32_t line) override {
        if (lines.size() <= static_cast<size_t>(statement)) lines.resize(static_cast<size_t>(statement) + 1);
        lines[statement] = line;
    }

    void StartFrame(int32_t frame) {
        frame_ = frame;
        picture_.Start();
        sound_.Start();
    }

    void RunCommand(ScriptLine& line) override {
        const KnownCommand* command = FindCommand(commands_, line.command);
        if (!command) return;  // no plug-in runs it
        if (command->sound ? !has_sound_ : !has_pictures_) return;
        StatelessProof& proof = command->sound ? proofs.sound : proofs.picture;
        if (!proof.proven) return;
        const std::string why = (command->sound ? sound_ : picture_).Run(*command, line, frame_);
        if (!why.empty()) Refute(proof, LineOf(line), why);
    }

    void FinishFrame(int32_t display) {
        if (has_pictures_ && proofs.picture.proven) Refute(proofs.picture, 0, picture_.Finish(display));
        if (has_sound_ && proofs.sound.proven) Refute(proofs.sound, 0, sound_.Finish(display));
    }

    void FinishRun() {
        if (proofs.sound.proven && sound_.fetch_cache_touched()) {
            Refute(proofs.sound, 0,
                   "a fetched frame's samples in buffer " + std::to_string(kSoundFetchBuffer) +
                       " are written over, and a later fetch of the same frame hands them on");
        }
    }

    void Refute(StatelessProof& proof, int32_t line, const std::string& why) {
        if (why.empty() || !proof.proven) return;
        proof = {false, line, frame_, why};
    }

    int32_t LineOf(const ScriptLine& line) const {
        const size_t statement = static_cast<size_t>(&line - table->lines);
        return statement < lines.size() ? lines[statement] : 0;
    }

    const ScriptTable* table = nullptr;
    std::vector<int32_t> lines;  // each statement's file line
    StatelessProofs proofs;

private:
    std::span<const KnownCommand> commands_;
    FrameTrace picture_, sound_;
    bool has_pictures_, has_sound_;
    int32_t frame_ = 0;
};

// A variable read in a frame before that frame assigns it holds the value of a frame before.
// Which statements run depends on the frame alone, so this needs no value: the reads and
// assignments of the statements covering each frame, in order.
class VariableTrace {
public:
    VariableTrace(const ScriptTable& table, std::span<const KnownCommand> commands)
        : table_(table), read_(static_cast<size_t>(table.line_count)) {
        for (int32_t s = 0; s < table.line_count; ++s) {
            const ScriptLine& line = table.lines[s];
            const int formulas = line.IsAssignment() ? 1 : kScriptArguments;
            for (int k = 0; k < formulas; ++k) {
                if (!IsString(line, k, commands)) read_[s] |= LettersRead(line.arg_text[k]);
            }
            if (line.IsAssignment()) assigned_anywhere_ |= Bit(line.command[0]);
        }
        // A letter no line assigns is 0 in every frame; one the executor sets is never carried.
        carried_ = assigned_anywhere_ & ~SetBeforeEveryLine();
    }

    // The statement that reads a carried variable at `frame`, or -1; `letter` names it.
    int32_t FirstCarriedRead(int32_t frame, char& letter) const {
        Letters assigned_now = 0;
        for (int32_t s = 0; s < table_.line_count; ++s) {
            const ScriptLine& line = table_.lines[s];
            if (frame < line.start_frame || frame > line.end_frame) continue;
            if (const Letters stale = read_[s] & carried_ & ~assigned_now) {
                letter = LetterOf(stale);
                return s;
            }
            if (line.IsAssignment()) assigned_now |= Bit(line.command[0]);
        }
        return -1;
    }

private:
    // A face name or a string to draw: text, whatever its letters.
    static bool IsString(const ScriptLine& line, int argument, std::span<const KnownCommand> commands) {
        if (line.IsAssignment()) return false;
        const KnownCommand* command = FindCommand(commands, line.command);
        return command && std::any_of(command->arguments.begin(), command->arguments.end(), [&](const ArgumentSpec& a) {
                   return a.number == argument + 1 && a.role == Role::kString;
               });
    }

    const ScriptTable& table_;
    std::vector<Letters> read_;  // by statement
    Letters assigned_anywhere_ = 0, carried_ = 0;
};

// The last frame the script's ranges reach, for a check without a clip.
int32_t LastFrameOf(const ScriptTable& table) {
    int32_t last = 0;
    for (int32_t s = 0; s < table.line_count; ++s) last = std::max(last, table.lines[s].end_frame);
    return std::min(last, kMostCheckedFrames - 1);
}

}  // namespace

std::array<int32_t, KINETRA_TRACK_COUNT> DefaultTracks() {
    std::array<int32_t, KINETRA_TRACK_COUNT> tracks{};
    for (int t = 0; t < KINETRA_TRACK_COUNT; ++t) tracks[t] = kTrackBars[t].default_value;
    return tracks;
}

StatelessProofs ProveStateless(std::string_view bytes, const StatelessOptions& options,
                               std::span<const KnownCommand> commands) {
    const ClipFacts& clip = options.clip;
    const int32_t frames = options.edit_frames > 0 ? options.edit_frames : clip.frame_count;
    Script script;
    Tracer tracer(commands, clip);
    script.set_listener(&tracer);
    if (!script.Load({bytes.data(), bytes.size()}, frames > 0 ? frames : INT32_MAX, nullptr) ||
        !script.table()) {
        StatelessProofs unknown;
        unknown.picture = unknown.sound = {false, 0, 0, "the script could not be loaded"};
        return unknown;
    }
    const ScriptTable& table = *script.table();
    tracer.table = &table;
    const VariableTrace variables(table, commands);

    std::vector<TrackVariable> tracks;
    for (int t = 0; t < KINETRA_TRACK_COUNT; ++t) {
        if (kTrackBars[t].variable) tracks.push_back({kTrackBars[t].variable, static_cast<double>(options.tracks[t])});
    }
    const int32_t display = std::clamp(options.tracks[kDisplayTrack], 0, kBufferCount - 1);
    FrameContext frame{};
    frame.width = frame.max_width = clip.width;
    frame.height = frame.max_height = clip.height;
    frame.frame_count = frames;
    const int32_t last = frames > 0 ? frames - 1 : LastFrameOf(table);
    for (int32_t f = 0; f <= last && (tracer.proofs.picture.proven || tracer.proofs.sound.proven); ++f) {
        char letter = 0;
        if (const int32_t statement = variables.FirstCarriedRead(f, letter); statement >= 0) {
            tracer.StartFrame(f);
            const std::string why = std::string("'") + letter + "' is read before this frame assigns it: it keeps "
                                    "the value of the frame before";
            tracer.Refute(tracer.proofs.picture, tracer.LineOf(table.lines[statement]), why);
            tracer.Refute(tracer.proofs.sound, tracer.LineOf(table.lines[statement]), why);
            break;
        }
        frame.frame = f;
        tracer.StartFrame(f);
        script.Run(frame, tracks, tracer);
        tracer.FinishFrame(display);
    }
    tracer.FinishRun();
    script.ReleaseLineMemory();
    return tracer.proofs;
}

std::string StatelessNoteJson(const StatelessProofs& proofs, std::string_view file) {
    const StatelessProof& failed = proofs.picture.proven ? proofs.sound : proofs.picture;
    const char* plugin = proofs.picture.proven ? "sound" : "picture";
    const std::string message =
        proofs.proven() ? "the script keeps nothing from frame to frame: every frame's result is exact on its own"
                        : std::string("the ") + plugin + " keeps state from frame to frame (at frame " +
                              std::to_string(failed.frame) + ": " + failed.reason +
                              "), so a frame's result is exact once the frames before it have run";
    return "{\"file\": " + JsonQuoted(file) + ", \"line\": " + std::to_string(failed.line) +
           ", \"column\": 1, \"severity\": \"note\", \"stateless\": " + (proofs.proven() ? "true" : "false") +
           ", \"message\": " + JsonQuoted(message) + "}";
}

}  // namespace kinetra::check
