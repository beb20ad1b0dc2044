// Every form of the picture kernel tables against the table's portable form, on random pixels
// with 16 bits' extremes among them, at counts that end inside a vector.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/support/kernel_tables.h"
#include "video/kernels/tables.h"

namespace kinetra::video {
namespace {

using testing::ForEachVectorForm;

std::vector<PixelYC> RandomPixels(int32_t count, std::mt19937& random) {
    constexpr int16_t kExtremes[] = {INT16_MIN, INT16_MAX, 0, -1, 1, 4096};
    auto component = [&] { return random() % 4 ? static_cast<int16_t>(random()) : kExtremes[random() % 6]; };
    std::vector<PixelYC> pixels(count);
    for (PixelYC& p : pixels) p = {component(), component(), component()};
    return pixels;
}

bool Same(const std::vector<PixelYC>& a, const std::vector<PixelYC>& b) {
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].y != b[i].y || a[i].cb != b[i].cb || a[i].cr != b[i].cr) return false;
    }
    return a.size() == b.size();
}

TEST(PictureKernelTables, BlendRowAboveFormsMatchThePortableForm) {
    std::mt19937 random(29);
    // Opacities at and inside the 16-bit limits, thresholds at the extremes and in between.
    const std::pair<int16_t, int16_t> cases[] = {{2048, 0},     {0, 100},         {4096, -100},  {INT16_MAX, INT16_MIN},
                                                 {-28671, 300}, {1, INT16_MAX - 1}, {3000, -1}};
    ForEachVectorForm(kBlendRowAbove, [&](BlendRowAboveForm form) {
        for (int32_t count : {1, 7, 8, 9, 17, 1920}) {
            for (const auto& [a, threshold] : cases) {
                const std::vector<PixelYC> source = RandomPixels(count, random), gate = RandomPixels(count, random);
                std::vector<PixelYC> expected = RandomPixels(count, random), got = expected;
                kBlendRowAbove.At(KernelLevel::kPortable)(source.data(), gate.data(), expected.data(), count, a,
                                                          threshold);
                form(source.data(), gate.data(), got.data(), count, a, threshold);
                EXPECT_TRUE(Same(got, expected)) << "count " << count << " a " << a << " threshold " << threshold;
            }
        }
    });
}

}  // namespace
}  // namespace kinetra::video
