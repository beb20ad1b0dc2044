// The proof that a script keeps nothing from frame to frame: scripts that are proven, and
// scripts that keep state through a buffer, a variable or a command, with the line that does.
#include <gtest/gtest.h>

#include <ostream>

#include "host/track_bars.h"
#include "kinetra/check/catalog.h"
#include "kinetra/check/stateless.h"

namespace kinetra::check {
namespace {

struct Case {
    const char* name;
    const char* script;
    bool picture, sound;  // proven
    int32_t line;         // of the first that keeps state, 0 for the frame's end
    int track = -1;       // a track set to `value` instead of its default
    int32_t value = 0;
    int32_t edit_frames = 0;  // lengthened past the clip's 12

    friend void PrintTo(const Case& c, std::ostream* out) { *out << c.script; }
};

constexpr ClipFacts kClip{96, 54, 12, 30, 48000, 2};

class StatelessTest : public ::testing::TestWithParam<Case> {};

TEST_P(StatelessTest, ProvesOrNamesTheLineThatKeepsState) {
    const Case& c = GetParam();
    StatelessOptions options{kClip, DefaultTracks(), c.edit_frames};
    if (c.track >= 0) options.tracks[c.track] = c.value;
    const StatelessProofs proofs = ProveStateless(c.script, options, PluginCommands());
    EXPECT_EQ(proofs.picture.proven, c.picture) << proofs.picture.reason;
    EXPECT_EQ(proofs.sound.proven, c.sound) << proofs.sound.reason;
    const StatelessProof& failed = proofs.picture.proven ? proofs.sound : proofs.picture;
    if (!failed.proven) {
        EXPECT_EQ(failed.line, c.line) << failed.reason;
    }
}

constexpr char kTrail[] = "[0-11]\ncopyframe(2,f-1,0,0,i,j,0,0)\nalpha(2,0,0,0,i,j,0,0,0.33)\n";
constexpr char kWideCopy[] = "[0-11]\ncopy(0,2,0,0,x,j,0,0)\nalpha(2,0,0,0,i,j,10,10,0.5)\n";

INSTANTIATE_TEST_SUITE_P(
    Scripts, StatelessTest,
    ::testing::Values(
        Case{"Empty", "", true, true, 0},
        Case{"InPlaceOnTheFrame", "[0-11]\nrotate(0,0,2*p*f/12,0,0,i/2,j/2,i/4,j/4)\n", true, true, 0},
        Case{"WrittenWholeThenRead", "[0-11]\ncopy(0,2,0,0,i,j,0,0)\nalpha(2,0,0,0,i,j,10,10,0.5)\n", true, true, 0},
        Case{"ReadBeforeWritten", "[0-11]\nalpha(2,0,0,0,i,j,10,10,0.5)\ncopy(0,2,0,0,i,j,0,0)\n", false, true, 2},
        Case{"WrittenInPart", "[0-11]\ncopy(0,2,0,0,i/2,j,0,0)\nalpha(2,0,0,0,i,j,10,10,0.5)\n", false, true, 3},
        Case{"WrittenAside", "[0-11]\ncopy(0,2,0,0,i,j,5,0)\nalpha(2,0,0,0,i,j,10,10,0.5)\n", false, true, 3},
        Case{"DrawnIntoBeforeWritten", "[0-11]\nfill(2,0,0,9,9,4096,0,0)\ncopy(2,0,0,0,i,j,0,0)\n", false, true, 3},
        Case{"FetchBeforeTheEditStarts", kTrail, false, true, 3},
        Case{"FetchPastTheClipsEnd", "[0-11]\ncopyframe(2,12,0,0,i,j,0,0)\nalpha(2,0,0,0,i,j,0,0,0.5)\n", false, true, 3, -1, 0, 20},
        Case{"RegionSizedByATrack", kWideCopy, true, true, 0},
        Case{"RegionSizedByATrackMovedDown", kWideCopy, false, true, 3, kFirstVariableTrack + 6, 50},
        Case{"ShownBufferWrittenWhole", "[0-11]\ncopy(0,2,0,0,i,j,0,0)\n", true, false, 0, kDisplayTrack, 2},
        Case{"ShownBufferNeverWritten", "[0-11]\ncopy(0,3,0,0,i,j,0,0)\n", false, false, 0, kDisplayTrack, 2},
        Case{"SwappedScratchShown", "[0-11]\nswapbuf()\n", false, true, 0},
        Case{"VariableCarried", "[0-11]\nA=A+1\nfill(0,0,0,A,A,0,0,0)\n", false, false, 2},
        Case{"VariableAssignedFirst", "[0-11]\nA=f\nfill(0,0,0,A,A,0,0,0)\n", true, true, 0},
        Case{"VariableNeverAssigned", "[0-11]\nfill(0,0,0,B+9,9,0,0,0)\n", true, true, 0},
        Case{"VariableAssignedLaterInTheFrame", "[0-11]\nfill(0,0,0,A,9,0,0,0)\nA=f\n", false, false, 2},
        Case{"RandomGenerator", "[0-11]\ndiffuse(0,0,0,0,i,j,0,0,3,3)\n", false, true, 2},
        Case{"FontSetInTheFrame", "[0-11]\nfont(Arial,20,0,0,0,4096,0,0)\ntext(0,1,1,0,Hello)\n", true, true, 0},
        Case{"FontOfAnEarlierFrame", "[0-11]\ntext(0,1,1,0,Hello)\n", false, true, 2},
        Case{"ToneGoesOn", "[0-11]\na_tone(0,440,0,0.5)\n", true, false, 2},
        Case{"ToneOfOneFrame", "[5-5]\na_tone(0,440,0,0.5)\n", true, true, 0},
        Case{"Noise", "[0-11]\na_noise(0,0.1)\n", true, false, 2},
        Case{"SoundFetchedThenMixed", "[0-11]\na_copyframe(1,f)\na_blend(1,0)\n", true, true, 0},
        Case{"SoundBufferChangedUnwritten", "[0-11]\na_volume(1,0.5,0.5,0)\na_blend(1,0)\n", true, false, 2},
        Case{"FetchedSamplesWrittenOver", "[0-11]\na_copyframe(2,3)\na_volume(9,0.5,0.5,0)\n", true, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StatelessNote, EndsTheCheckJsonWithTheVerdict) {
    StatelessProofs proofs;
    proofs.sound = {false, 4, 1, "a_tone goes on"};
    const std::string json = FormatJson(Report{}, "animation.txt", StatelessNoteJson(proofs, "animation.txt"));
    EXPECT_NE(json.find("\"line\": 4, \"column\": 1, \"severity\": \"note\", \"stateless\": false"), std::string::npos)
        << json;
}

}  // namespace
}  // namespace kinetra::check
