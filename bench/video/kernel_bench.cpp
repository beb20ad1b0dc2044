// Each picture kernel table's form at each level this machine runs, over a 1920x1080 frame of
// noise on one thread: a form earns its place against the level below.
#include <cmath>
#include <random>
#include <vector>

#include "bench/kernel_tables.h"
#include "video/color_space.h"
#include "video/kernels/resample.h"
#include "video/kernels/blend.h"

namespace kinetra::video::bench {
namespace {

using kinetra::bench::RegisterTable;
constexpr benchmark::TimeUnit kUnit = benchmark::kMillisecond;

constexpr int32_t kWidth = 1920, kHeight = 1080;

std::vector<PixelYC> Noise(uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<PixelYC> pixels(size_t{kWidth} * kHeight);
    for (PixelYC& p : pixels) {
        p = {static_cast<int16_t>(random() % 4097), static_cast<int16_t>(int(random() % 4097) - 2048),
             static_cast<int16_t>(int(random() % 4097) - 2048)};
    }
    return pixels;
}


PixelYC* Row(std::vector<PixelYC>& frame, int32_t y) { return frame.data() + size_t{kWidth} * y; }

int Register() {
    static std::vector<PixelYC> source = Noise(1), gate = Noise(2), out = Noise(3);
    RegisterTable(kBlendRowNarrow, kUnit, [](BlendRowNarrowForm form) {
        for (int32_t y = 0; y < kHeight; ++y) form(Row(source, y), Row(out, y), kWidth, 2048);
    });
    RegisterTable(kBlendRowAbove, kUnit, [](BlendRowAboveForm form) {
        for (int32_t y = 0; y < kHeight; ++y) form(Row(source, y), Row(gate, y), Row(out, y), kWidth, 2048, 2048);
    });
    static RGBBlock block;
    RegisterTable(kToRGB, kUnit, [](ToRGBForm form) {
        for (size_t at = 0; at < source.size(); at += kColourBlock) form(source.data() + at, kColourBlock, block);
    });
    RegisterTable(kToYC, kUnit, [](ToYCForm form) {
        for (size_t at = 0; at < out.size(); at += kColourBlock) form(block, kColourBlock, 1.0, out.data() + at);
    });
    RegisterTable(kMaskOfBlock, kUnit, [](MaskOfBlockForm form) {
        static const ColourBox box{{1000, 1000, 1000}, {3000, 3000, 3000}};
        for (size_t at = 0; at < out.size(); at += kColourBlock) form(block, kColourBlock, box, 4096, 0, out.data() + at);
    });
    // resize enlarging twice: each source row's columns mixed into a widened row of 1920,
    // then each destination row mixed from two widened rows.
    static std::vector<ResizeColumn> columns;
    for (int32_t j = 0; j < kWidth; ++j) {
        const int32_t q = j * 128, fx = q & 255;
        columns.push_back({q >> 8, (255 - fx) | fx << 16});
    }
    static std::vector<int32_t> widened(3 * kWidth + kWidenedSlack), below(3 * kWidth + kWidenedSlack);
    kMixColumns.At(KernelLevel::kPortable)(widened.data(), Row(source, 0), kWidth, columns.data(), kWidth);
    kMixColumns.At(KernelLevel::kPortable)(below.data(), Row(source, 1), kWidth, columns.data(), kWidth);
    RegisterTable(kMixColumns, kUnit, [](MixColumnsForm form) {
        static std::vector<int32_t> to(3 * kWidth + kWidenedSlack);
        for (int32_t y = 0; y < kHeight; ++y) form(to.data(), Row(source, y), kWidth, columns.data(), kWidth);
    });
    RegisterTable(kMixRows, kUnit, [](MixRowsForm form) {
        for (int32_t y = 0; y < kHeight; ++y) form(Row(out, y), widened.data(), below.data(), kWidth, 100 + y % 128);
    });
    // rotate by 0.5 rad about the centre, whole rows of the interior.
    static const int64_t C = std::lround(std::cos(0.5) * 4096), S = std::lround(std::sin(0.5) * 4096);
    static const TurnedRun run{source.data(), C, S, kWidth / 2, kHeight / 2, {kWidth, kHeight}};
    RegisterTable(kTurn, kUnit, [](TurnForm form) {
        // The middle 400 columns of each row stay inside the picture at this angle.
        for (int32_t y = 0; y < kHeight; ++y) {
            const int64_t dyc = y - kHeight / 2, dxc = -200;
            form(run, Row(out, y), 0, 400, dxc * C - dyc * S / 4, dxc * S + dyc * C / 4);
        }
    });
    return 0;
}
const int registered = Register();

}  // namespace
}  // namespace kinetra::video::bench
