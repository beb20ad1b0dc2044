// Pictures whose work memory the address space cannot hold.
#include "tests/support/oversized_frames.h"
#include "video/plugin.h"

namespace kinetra::video {
namespace {

using testing::OversizedFrame;

const OversizedFrame kOversizedPictures[] = {
    // 70000 × 70000 pixels of 6 bytes: 29.4 GB an area.
    {"picture 70000x70000", true, 70000, 70000, 0, 0, true},
    // One area (2.4 GB) fits in 32 bits; the nine areas do not.
    {"picture whose nine areas pass 4 GiB", true, 20000, 20000, 0, 0, true},
    // 2^31 × 2^31 × 6 bytes passes even 64 bits.
    {"picture at the 32-bit limits", true, INT32_MAX, INT32_MAX, 0, 0, false},
};

class OversizedPictures : public ::testing::TestWithParam<OversizedFrame> {};

TEST_P(OversizedPictures, FailTheFrameWithOneMessage) { CheckOversizedFrame(GetParam(), kImageLayout); }

INSTANTIATE_TEST_SUITE_P(Pictures, OversizedPictures, ::testing::ValuesIn(kOversizedPictures),
                         testing::OversizedFrameName);

}  // namespace
}  // namespace kinetra::video
