// resize and rotate.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/video/effects_canvas.h"

namespace kinetra::video::effects_testing {
namespace {

const double kPi = 3.14159265358979323846;

// The sample of source position (sx, sy) of a rectangle whose last column and row are
// (last_x, last_y); a neighbour beyond the image is the edge pixel.
PixelYC ReferenceSample(const Canvas& before, int b, int64_t sx, int64_t sy, int64_t last_x,
                        int64_t last_y, int32_t fx, int32_t fy) {
    const PixelYC& p = before.At(b, sx, sy);
    if (sx == last_x || sy == last_y) return BilinearSample(fx, fy, p, p, p, p);
    const int64_t x1 = std::min<int64_t>(sx + 1, before.W - 1), y1 = std::min<int64_t>(sy + 1, before.H - 1);
    return BilinearSample(fx, fy, p, before.At(b, x1, sy), before.At(b, sx, y1), before.At(b, x1, y1));
}

bool InsideSource(const Canvas& c, int64_t sx, int64_t sy, int64_t sx0, int64_t sy0, int64_t w, int64_t h) {
    return sx >= std::clamp<int64_t>(sx0, 0, c.W) && sx < std::clamp<int64_t>(sx0 + w, 0, c.W) &&
           sy >= std::clamp<int64_t>(sy0, 0, c.H) && sy < std::clamp<int64_t>(sy0 + h, 0, c.H);
}

// resize, one division per pixel as the rule writes it.
void ReferenceResize(Canvas& canvas, const std::vector<double>& args) {
    auto arg = [&](int n) { return int64_t{TruncateToInt32(args[n - 1])}; };
    const int64_t src = arg(1), dst = arg(2);
    if (src < 0 || src > 9 || dst < 0 || dst > 9) return;
    if (arg(5) < 1 || arg(6) < 1 || arg(9) < 1 || arg(10) < 1) return;
    const int64_t sx0 = arg(3), sy0 = arg(4), sw = std::min<int64_t>(arg(5), canvas.W), sh = std::min<int64_t>(arg(6), canvas.H);
    const int64_t dx = arg(7), dy = arg(8), dw = std::min<int64_t>(arg(9), canvas.W), dh = std::min<int64_t>(arg(10), canvas.H);
    const Canvas before(canvas);
    for (int64_t r = std::max<int64_t>(dy, 0); r < std::min<int64_t>(dy + dh, canvas.H); ++r) {
        for (int64_t c = std::max<int64_t>(dx, 0); c < std::min<int64_t>(dx + dw, canvas.W); ++c) {
            const int64_t yq = (r - dy) * sh * 256 / dh, xq = (c - dx) * sw * 256 / dw;
            const int64_t sy = sy0 + (yq >> 8), sx = sx0 + (xq >> 8);
            if (!InsideSource(canvas, sx, sy, sx0, sy0, sw, sh)) continue;
            canvas.At(dst, c, r) = ReferenceSample(before, src, sx, sy, sx0 + sw - 1, sy0 + sh - 1,
                                                   xq & 255, yq & 255);
        }
    }
}

// rotate, with the turned offsets multiplied out per pixel.
void ReferenceRotate(Canvas& canvas, const std::vector<double>& args) {
    auto arg = [&](int n) { return int64_t{TruncateToInt32(args[n - 1])}; };
    const int64_t src = arg(1), dst = arg(2);
    if (src < 0 || src > 9 || dst < 0 || dst > 9 || arg(6) < 1 || arg(7) < 1) return;
    if (!std::isfinite(args[2])) return;
    const int64_t sx0 = arg(4), sy0 = arg(5), w = arg(6), h = arg(7), dx = arg(8), dy = arg(9);
    const int64_t cw = std::min<int64_t>(w, canvas.W), ch = std::min<int64_t>(h, canvas.H);
    const int64_t S = TruncateToInt32(std::sin(args[2]) * 4096.0), C = TruncateToInt32(std::cos(args[2]) * 4096.0);
    const int64_t hw = w / 2, hh = h / 2;
    const int64_t mx = ((std::abs(C * w) + std::abs(S * h)) / 4096 - w) / 2;
    const int64_t my = ((std::abs(C * h) + std::abs(S * w)) / 4096 - h) / 2;
    const Canvas before(canvas);
    for (int64_t r = std::max<int64_t>(dy - my, 0); r < std::min<int64_t>(dy + ch + my, canvas.H); ++r) {
        for (int64_t c = std::max<int64_t>(dx - mx, 0); c < std::min<int64_t>(dx + cw + mx, canvas.W); ++c) {
            const int64_t dxc = c - hw - dx, dyc = r - hh - dy;
            const int64_t u = dxc * C - dyc * S, v = dxc * S + dyc * C;
            const int64_t sx = sx0 + hw + (u >> 12), sy = sy0 + hh + (v >> 12);
            if (!InsideSource(canvas, sx, sy, sx0, sy0, cw, ch)) continue;
            canvas.At(dst, c, r) = ReferenceSample(before, src, sx, sy, sx0 + cw - 1, sy0 + ch - 1,
                                                   (u >> 4) & 255, (v >> 4) & 255);
        }
    }
}

TEST(Resize, TwoColumnsToFourGiveFractionsZeroAndAHalf) {
    Canvas canvas(12, 8);
    for (int y = 0; y < 2; ++y) {
        canvas.At(2, 3, 2 + y) = {0, 0, 0};
        canvas.At(2, 4, 2 + y) = {4096, 0, 0};
    }
    canvas.Run("resize", {2, 3, 3, 2, 2, 2, 5, 1, 4, 2});
    // Source columns 3, 3, 4, 4 with fx 0, 128, 0, 128; column 4 is the last, so it stands
    // alone, and so does every pixel of the last row.
    const int16_t want[2][4] = {{0, 2040, 4064, 4064}, {0, 0, 4064, 4064}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) EXPECT_EQ(canvas.At(3, 5 + x, 1 + y).y, want[y][x]) << x << "," << y;
    }
}

TEST(Resize, EqualSizesCopyWithTheSamplersDarkening) {
    Canvas canvas(10, 10);
    canvas.Run("fill", {2, 0, 0, 10, 10, 4096, -2048, 2048});
    canvas.Run("fill", {3, 0, 0, 10, 10, 7, 7, 7});
    canvas.Run("resize", {2, 3, -5, 0, 8, 8, 1, 1, 8, 8});
    for (int y = 1; y < 9; ++y) {
        for (int x = 1; x < 9; ++x) {
            // Source columns below 0 are outside: those destination pixels keep their value.
            const PixelYC want = x < 6 ? PixelYC{7, 7, 7} : PixelYC{4064, -2033, 2032};
            EXPECT_TRUE(Same(canvas.At(3, x, y), want)) << x << "," << y;
        }
    }
}

TEST(Rotate, QuarterAndHalfTurnsOfA200By100Rectangle) {
    struct Case {
        double angle;
        int64_t x0, x1, y0, y1;  // the written columns and rows, half-open
    };
    // At dx = dy = 100: a quarter turn writes columns 150..249 and rows 51..249 (row 50 samples
    // column sx0 + 200, outside); a half turn columns 101..299 and rows 101..199.
    const Case cases[] = {{kPi / 2, 150, 250, 51, 250}, {kPi, 101, 300, 101, 200}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.angle);
        Canvas canvas(320, 320);
        canvas.Run("fill", {2, 0, 0, 320, 320, 1000, 0, 0});
        canvas.Run("fill", {3, 0, 0, 320, 320, -1, -1, -1});
        canvas.Run("rotate", {2, 3, c.angle, 10, 20, 200, 100, 100, 100});
        for (int32_t y = 0; y < 320; ++y) {
            for (int32_t x = 0; x < 320; ++x) {
                const bool written = x >= c.x0 && x < c.x1 && y >= c.y0 && y < c.y1;
                ASSERT_EQ(canvas.At(3, x, y).y, written ? 992 : -1) << x << "," << y;
            }
        }
    }
}

TEST(Rotate, QuarterTurnDrawsTheRightNeighbourAboveTheCentre) {
    Canvas canvas(40, 40);
    canvas.At(2, 16, 15) = {4096, 0, 0};  // just right of the centre (15, 15) of (5, 5, 20, 20)
    canvas.Run("rotate", {2, 3, kPi / 2, 5, 5, 20, 20, 5, 5});
    EXPECT_EQ(canvas.At(3, 15, 14).y, 4064);
    EXPECT_EQ(canvas.At(3, 16, 15).y, 0);
}

TEST(Rotate, NoTurnEqualsResizeOfTheSameSize) {
    Canvas canvas(30, 20);
    canvas.Randomize(5);
    Canvas turned(canvas), resized(canvas);
    turned.Run("rotate", {2, 3, 0, 4, 3, 17, 9, 8, 6});
    resized.Run("resize", {2, 3, 4, 3, 17, 9, 8, 6, 17, 9});
    EXPECT_TRUE(turned.SameBuffers(resized)) << turned.FirstDifference(resized, 3);
}

TEST(Rotate, AnAngleThatIsNotANumberDoesNothing) {
    for (double angle : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity()}) {
        Canvas canvas(16, 16);
        canvas.Randomize(2);
        const Canvas before(canvas);
        canvas.Run("rotate", {2, 3, angle, 0, 0, 16, 16, 0, 0});
        EXPECT_TRUE(canvas.SameBuffers(before));
    }
}

TEST(Geometry, FastPathsEqualTheRulesOnRandomArgumentsForAnyThreadCount) {
    testing::ExpectFastPathsEqualReference("resize", ReferenceResize, 29, 23, [](uint32_t seed) {
        ArgumentSource a(seed, 29, 23);
        return std::vector<double>{a.Buffer(), a.Buffer(), a.Position(29), a.Position(23), a.Size(29),
                                   a.Size(23), a.Position(29), a.Position(23), a.Size(29), a.Size(23)};
    });
    testing::ExpectFastPathsEqualReference("rotate", ReferenceRotate, 29, 23, [](uint32_t seed) {
        ArgumentSource a(seed, 29, 23);
        const double angle = seed % 7 == 0 ? (seed % 2 ? 1e300 : -kPi) : (a.random() % 10000) * 0.001 - 5.0;
        return std::vector<double>{a.Buffer(), a.Buffer(), angle, a.Position(29), a.Position(23),
                                   a.Size(29), a.Size(23), a.Position(29), a.Position(23)};
    });
}

// Rows wider than the pieces the interpolation works in must join them without a seam, with the
// columns' positions in the row scratch or, without room there, computed per row.
TEST(Resize, WideRowsGiveTheSamePixelsWithAndWithoutRowScratch) {
    const std::vector<double> lines[] = {
        {2, 3, 0, 0, 700, 6, 0, 0, 700, 6},      // same size
        {2, 3, 100, 1, 233, 4, -40, 0, 690, 6},  // enlarged about three times, from left of the image
        {2, 2, 0, 0, 700, 6, 5, 1, 301, 5},      // shrunk onto itself
        {2, 3, 3, 0, 697, 5, 0, 0, 40, 6},       // shrunk seventeen times: every piece spans far
    };
    for (bool scratch : {true, false}) {
        for (const auto& args : lines) {
            Canvas canvas(700, 6);
            canvas.Randomize(3);
            Canvas want(canvas);
            ReferenceResize(want, args);
            if (!scratch) {
                canvas.table.column_scratch = nullptr;
                canvas.table.column_scratch_bytes = 0;
            }
            canvas.Run("resize", args, 3);
            EXPECT_TRUE(canvas.SameBuffers(want))
                << (scratch ? "with" : "without") << " scratch: " << canvas.FirstDifference(want, TruncateToInt32(args[1]));
        }
    }
}

// Sizes near the 32-bit limit clamp to the image; positions far outside leave everything.
TEST(Geometry, ExtremeArgumentsStayInsideTheBuffers) {
    const std::vector<double> lines[] = {
        {2, 3, -2147483648.0, -2147483648.0, 2147483647.0, 2147483647.0, 0, 0, 2147483647.0, 2147483647.0},
        {2, 3, 0, 0, 2147483647.0, 2147483647.0, -2147483648.0, 2147483647.0, 2147483647.0, 2147483647.0},
        {2, 2, 5, 5, 20, 20, -3, -3, 1e12, 3},
        // Past the right and bottom edges: the last image row must not look for the
        // rectangle's last column, six pixels past the end of the buffer.
        {2, 3, 10, 10, 20, 20, 0, 0, 20, 20},
    };
    for (const auto& args : lines) {
        Canvas canvas(24, 20);
        canvas.Randomize(9);
        Canvas want(canvas);
        ReferenceResize(want, args);
        canvas.Run("resize", args);
        EXPECT_TRUE(canvas.SameBuffers(want));
    }
    const std::vector<double> turns[] = {
        {2, 3, 0.7, -2147483648.0, -2147483648.0, 2147483647.0, 2147483647.0, 2147483647.0, -2147483648.0},
        {2, 3, -2.1, 2147483647.0, 0, 2147483647.0, 5, -2147483648.0, 0},
        {2, 2, 1e300, 0, 0, 2147483647.0, 2147483647.0, 0, 0},
    };
    for (const auto& args : turns) {
        Canvas canvas(24, 20);
        canvas.Randomize(9);
        Canvas want(canvas);
        ReferenceRotate(want, args);
        canvas.Run("rotate", args);
        EXPECT_TRUE(canvas.SameBuffers(want));
    }
}

}  // namespace
}  // namespace kinetra::video::effects_testing
