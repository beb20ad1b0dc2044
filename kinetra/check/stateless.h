// Whether a script keeps nothing from one frame to the next, so that the result at any frame is
// the same whatever frames ran before it: no buffer that outlives the frame is read before the
// frame writes all of it, no variable is read before the frame assigns it, and no command runs
// that keeps state of its own. A proof, and so conservative: what cannot be shown (a partial
// rectangle, a buffer number that changes) counts as state.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "kinetra/check/check.h"
#include "kinetra/filter_abi.h"

namespace kinetra::check {

struct StatelessOptions {
    ClipFacts clip;  // its frames are the ones proven; 0 frames: the script's own range
    std::array<int32_t, KINETRA_TRACK_COUNT> tracks{};  // the track bars' values, the display buffer's among them
    // The edit's frames when a range lengthens it past the clip's (0: the clip's); a frame past
    // the clip has no picture to fetch.
    int32_t edit_frames = 0;
};

// One plug-in's verdict; `line` (from 1) is the statement that keeps state, 0 when none does or
// when the frame's end does (the display buffer).
struct StatelessProof {
    bool proven = true;
    int32_t line = 0;
    int32_t frame = 0;    // the first frame at which the state shows
    std::string reason;   // why not, for a person
};

struct StatelessProofs {
    StatelessProof picture, sound;
    bool proven() const { return picture.proven && sound.proven; }
};

// The track bars' defaults, as a script runs when nobody moved them.
std::array<int32_t, KINETRA_TRACK_COUNT> DefaultTracks();

StatelessProofs ProveStateless(std::string_view bytes, const StatelessOptions& options,
                               std::span<const KnownCommand> commands);

// One note for the check's JSON list: {"severity": "note", "stateless": B, ...}.
std::string StatelessNoteJson(const StatelessProofs& proofs, std::string_view file);

}  // namespace kinetra::check
