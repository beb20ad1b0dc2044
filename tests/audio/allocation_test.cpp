// Sounds whose work memory the address space cannot hold.
#include "audio/plugin.h"
#include "tests/support/oversized_frames.h"

namespace kinetra::audio {
namespace {

using testing::OversizedFrame;

const OversizedFrame kOversizedSounds[] = {
    // Three values per stereo sample: 12.9 GB an area.
    {"sound of 2^31 stereo samples", false, 320, 180, INT32_MAX, 2, true},
    {"sound of many channels", false, 320, 180, 48000, INT32_MAX, true},
    // Three values per sample of 0x55555556 channels wrap to 2 in 32 bits...
    {"sound whose values per sample wrap", false, 320, 180, 1, 0x55555556, true},
    // ...and 3 × 0x55555555 is 2^32 - 1, which rounds up to no values at all.
    {"sound whose value count rounds up to zero", false, 320, 180, 1, 0x55555555, true},
};

class OversizedSounds : public ::testing::TestWithParam<OversizedFrame> {};

TEST_P(OversizedSounds, FailTheFrameWithOneMessage) { CheckOversizedFrame(GetParam(), kSoundLayout); }

INSTANTIATE_TEST_SUITE_P(Sounds, OversizedSounds, ::testing::ValuesIn(kOversizedSounds),
                         testing::OversizedFrameName);

}  // namespace
}  // namespace kinetra::audio
