// Every form of the colour maps' kernel tables against the table's portable form: random and
// extreme codes and pixels, rows that end inside and at the end of a vector, both widths of a
// colour block, one row of pixels or two; the bytes past each row's end stay untouched.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "kinetra/media/colour_kernels.h"
#include "tests/support/kernel_tables.h"

namespace kinetra::media {
namespace {

using testing::ForEachVectorForm;
using testing::RandomPixels;

constexpr int kWidths[] = {1, 7, 9, 16, 17, 18, 32, 33, 34, 51, 95, 1920};
constexpr int kGuard = 16;  // bytes past a row's end that no form may write

// Codes with 0 and 255 among them.
std::vector<uint8_t> RandomCodes(int count, std::mt19937& random) {
    std::vector<uint8_t> codes(count + kGuard);
    for (uint8_t& c : codes) c = random() % 5 ? static_cast<uint8_t>(random()) : (random() % 2 ? 255 : 0);
    return codes;
}

// Maps to PixelYC of the size real spaces have, and with coefficients towards the largest whose
// sums stay in 32 bits.
const int32_t kToYcK[2][3][3] = {{{1225669, 0, 1887348}, {0, 1199290, 117000}, {0, -81000, 1215000}},
                                 {{2000000, -2097151, 1900000}, {-1500000, 2097151, -2000000}, {2097151, 2097151, -2097151}}};
const int32_t kToYcBias[2][3] = {{-268435456, -153000000, -160000000}, {268435456, -268435456, 0}};

TEST(ColourKernelTables, ToPixelYcFormsMatchThePortableForm) {
    std::mt19937 random(41);
    for (int i = 0; i < 2; ++i) {
        const ToYcMap map{kToYcK[i], kToYcBias[i]};
        for (const int width : kWidths) {
            for (const int shift_x : {0, 1}) {
                SCOPED_TRACE(::testing::Message() << "map " << i << ", width " << width << ", shift " << shift_x);
                const int samples = ((width - 1) >> shift_x) + 1;
                const std::vector<uint8_t> luma = RandomCodes(width, random), cb = RandomCodes(samples, random),
                                           cr = RandomCodes(samples, random);
                std::vector<int32_t> terms(3 * samples);
                kColourTerms.At(KernelLevel::kPortable)(map, cb.data(), cr.data(), samples, terms.data());
                ForEachVectorForm(kColourTerms, [&](ColourTermsForm form) {
                    std::vector<int32_t> got(3 * samples, 7);
                    form(map, cb.data(), cr.data(), samples, got.data());
                    EXPECT_EQ(got, terms);
                });
                const std::vector<PixelYC> seed = RandomPixels(width + kGuard, random);
                std::vector<PixelYC> expected = seed;
                kPixels.At(KernelLevel::kPortable)(map, luma.data(), terms.data(), samples, shift_x, width, expected.data());
                ForEachVectorForm(kPixels, [&](PixelsForm form) {
                    std::vector<PixelYC> got = seed;
                    form(map, luma.data(), terms.data(), samples, shift_x, width, got.data());
                    for (size_t x = 0; x < got.size(); ++x) {
                        ASSERT_TRUE(got[x].y == expected[x].y && got[x].cb == expected[x].cb && got[x].cr == expected[x].cr)
                            << "pixel " << x;
                    }
                });
            }
        }
    }
}

// Maps back of the size real spaces have, with coefficient sums of a colour block near 2^31, and
// one of unit coefficients over pixels near zero whose bias sets the code at a whole step when
// the block's mean is just below zero: there rounding the mean down instead of towards zero
// gives a code one less.
const int32_t kToYuvK[3][3][3] = {{{3504, 420, -900}, {-2000, 3700, 500}, {1500, -300, 3600}},
                                  {{16000, -200, 100}, {-8000, 8000, 300}, {100, -300, -15900}},
                                  {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}};
const int32_t kToYuvBias[3][3] = {{1081344, 8421376, 8421376}, {-8421376, 0, 8421376}, {8388609, 8388609, 8388609}};

TEST(ColourKernelTables, BackToYuvFormsMatchThePortableForm) {
    std::mt19937 random(42);
    for (int i = 0; i < 3; ++i) {
        const ToYuvMap map{kToYuvK[i], kToYuvBias[i]};
        const auto pixels = [&](int count) {
            std::vector<PixelYC> row = RandomPixels(count, random);
            if (i == 2) {
                for (PixelYC& p : row) p = {static_cast<int16_t>(p.y % 5), static_cast<int16_t>(p.cb % 5), static_cast<int16_t>(p.cr % 5)};
            }
            return row;
        };
        for (const int width : kWidths) {
            for (const int shift_x : {0, 1}) {
                for (const bool two_rows : {false, true}) {
                    SCOPED_TRACE(::testing::Message() << "map " << i << ", width " << width << ", shift " << shift_x
                                                      << (two_rows ? ", two rows" : ", one row"));
                    const int samples = ((width - 1) >> shift_x) + 1;
                    const std::vector<PixelYC> first = pixels(width), second = pixels(width);
                    const std::vector<uint8_t> seed[4] = {RandomCodes(width, random), RandomCodes(width, random),
                                                          RandomCodes(samples, random), RandomCodes(samples, random)};
                    const auto run = [&](YuvRowsForm form, std::vector<uint8_t> (&out)[4]) {
                        std::copy(seed, seed + 4, out);
                        form(map, YuvRows{first.data(), two_rows ? second.data() : nullptr, out[0].data(),
                                          two_rows ? out[1].data() : nullptr, out[2].data(), out[3].data(), width, shift_x});
                    };
                    std::vector<uint8_t> expected[4], got[4];
                    run(kYuvRows.At(KernelLevel::kPortable), expected);
                    ForEachVectorForm(kYuvRows, [&](YuvRowsForm form) {
                        run(form, got);
                        for (int plane = 0; plane < 4; ++plane) EXPECT_EQ(got[plane], expected[plane]) << "plane " << plane;
                    });
                }
            }
        }
    }
}

}  // namespace
}  // namespace kinetra::media
