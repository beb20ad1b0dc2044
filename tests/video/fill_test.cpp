// swapbuf, dispsize, fill and fill2.
#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "tests/video/effects_canvas.h"

namespace kinetra::video::effects_testing {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(Buffers, SwapbufExchangesTheHostImagesForLaterLinesAndTheHost) {
    Canvas canvas(8, 6);
    PixelYC* edit = canvas.context.edit_image;
    PixelYC* scratch = canvas.context.scratch_image;
    canvas.Run("swapbuf", {});
    EXPECT_EQ(canvas.context.edit_image, scratch);
    EXPECT_EQ(canvas.context.scratch_image, edit);
    canvas.Run("fill", {0, 0, 0, 8, 6, 1000, 1, 2});
    EXPECT_EQ(scratch[0].y, 1000);  // buffer 0 is now the former scratch image
    EXPECT_EQ(edit[0].y, 0);
    canvas.Run("swapbuf", {});
    EXPECT_EQ(canvas.context.edit_image, edit);
    EXPECT_EQ(canvas.table.Image(0), edit);
    EXPECT_EQ(canvas.table.Image(1), scratch);
}

TEST(Buffers, DispsizeAcceptsSizesFrom16UpToTheImage) {
    struct Case {
        double w, h;
        bool accepted;
        int32_t width, height;
    };
    const Case cases[] = {
        {15, 100, false, 0, 0},   {100, 15, false, 0, 0},  {321, 100, false, 0, 0},
        {100, 181, false, 0, 0},  {16, 16, true, 16, 16},  {100.9, 50.2, true, 100, 50},
        {320, 180, true, 320, 180}, {kNaN, 50, false, 0, 0}, {-1e300, 50, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.w << " x " << c.h);
        Canvas canvas(320, 180);
        canvas.context.width = 200;
        canvas.context.height = 100;
        canvas.Run("dispsize", {c.w, c.h});
        EXPECT_EQ(canvas.context.width, c.accepted ? c.width : 200);
        EXPECT_EQ(canvas.context.height, c.accepted ? c.height : 100);
    }
}

// The columns and rows a fill paints: [x0, x1) x [y0, y1), or none.
struct Painted {
    int64_t x0, x1, y0, y1;
};

TEST(Fill, PaintsTheClippedRectangleAfterLimitingItsSize) {
    struct Case {
        std::vector<double> args;
        Painted painted;
    };
    const Case cases[] = {
        {{2, -10, -10, 20, 20, 100, 1, 2}, {0, 10, 0, 10}},
        {{2, -5, 3, 5000, 2, 100, 1, 2}, {0, 35, 3, 5}},  // 5000 acts as 40 from column -5
        {{2, 38, 28, 5, 5, 100, 1, 2}, {38, 40, 28, 30}},
        {{2, 2147483647.0, 0, 2147483647.0, 30, 100, 1, 2}, {0, 0, 0, 0}},
        {{2, -2147483648.0, -2147483648.0, 2147483647.0, 2147483647.0, 100, 1, 2}, {0, 0, 0, 0}},
        {{2, 3, 4, 0.9, 5, 100, 1, 2}, {0, 0, 0, 0}},
        {{10, 3, 4, 5, 5, 100, 1, 2}, {0, 0, 0, 0}},
        {{2, kNaN, 4, 5, 5, 100, 1, 2}, {0, 0, 0, 0}},  // x = INT32_MIN: far left
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.args[1] << "," << c.args[2] << " " << c.args[3] << "x" << c.args[4]);
        Canvas canvas(40, 30);
        canvas.Run("fill", c.args);
        for (int32_t y = 0; y < 30; ++y) {
            for (int32_t x = 0; x < 40; ++x) {
                const bool inside = x >= c.painted.x0 && x < c.painted.x1 && y >= c.painted.y0 && y < c.painted.y1;
                ASSERT_EQ(canvas.At(2, x, y).y, inside ? 100 : 0) << x << "," << y;
            }
        }
    }
}

TEST(Fill, StoresTheColourAsLow16BitsWithoutClamping) {
    struct Case {
        double y, cb, cr;
        PixelYC stored;
    };
    const Case cases[] = {
        {4096, 40000, -1, {4096, -25536, -1}},
        {4096.9, -2048.9, 0.5, {4096, -2048, 0}},
        {65536 + 7, -65536 - 7, 1e300, {7, -7, 0}},
    };
    for (const Case& c : cases) {
        Canvas canvas(4, 4);
        canvas.Run("fill", {3, 0, 0, 4, 4, c.y, c.cb, c.cr});
        EXPECT_TRUE(Same(canvas.At(3, 3, 3), c.stored)) << c.y << " " << c.cb << " " << c.cr;
    }
}

// fill2 written straight from its rule, reading the mask as it was before the command.
void ReferenceFill2(Canvas& canvas, const std::vector<double>& args) {
    auto arg = [&](int n) { return TruncateToInt32(args[n - 1]); };
    const int dst = arg(1), msk = arg(2);
    if (dst < 0 || dst > 9 || msk < 0 || msk > 9 || arg(5) < 1 || arg(6) < 1) return;
    const int64_t x = arg(3), y = arg(4), w = std::min(arg(5), canvas.W), h = std::min(arg(6), canvas.H);
    const int64_t mx = arg(10), my = arg(11);
    const PixelYC colour{Low16(arg(7)), Low16(arg(8)), Low16(arg(9))};
    const Canvas before(canvas);
    for (int64_t r = std::max<int64_t>(y, 0); r < std::min<int64_t>(y + h, canvas.H); ++r) {
        for (int64_t c = std::max<int64_t>(x, 0); c < std::min<int64_t>(x + w, canvas.W); ++c) {
            const int64_t kx = mx + c - x, ky = my + r - y;
            if (!canvas.Inside(kx, ky)) continue;
            if (before.At(msk, kx, ky).y > arg(12)) canvas.At(dst, c, r) = colour;
        }
    }
}

TEST(Fill, Fill2ThresholdsAtTheExtremes) {
    struct Case {
        double threshold, mx;
        int64_t painted;  // pixels of the 10 x 10 destination
    };
    const Case cases[] = {
        {-32769, 0, 100},
        {32767, 0, 0},
        {-32769, -5, 50},   // the left half of the mask rectangle is outside the image
        {-32769, 15, 50},   // the right half
        {-32769, 2147483647.0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.threshold << " at " << c.mx);
        Canvas canvas(20, 10);
        canvas.Randomize(1);
        canvas.Run("fill", {3, 0, 0, 20, 10, 0, 0, 0});
        canvas.Run("fill2", {3, 2, 0, 0, 10, 10, 4000, 0, 0, c.mx, 0, c.threshold});
        int64_t painted = 0;
        for (size_t i = 0; i < canvas.Area(); ++i) painted += canvas.Image(3)[i].y == 4000;
        EXPECT_EQ(painted, c.painted);
    }
}

TEST(Fill, Fill2EqualsItsRuleOnRandomArguments) {
    for (uint32_t seed = 0; seed < 300; ++seed) {
        Canvas canvas(23, 17);
        canvas.Randomize(seed);
        ArgumentSource source(seed, canvas.W, canvas.H);
        std::vector<double> args = {source.Buffer(), source.Buffer(), source.Position(23), source.Position(17),
                                    source.Size(23), source.Size(17), 4000, -100, 100,
                                    source.Position(23), source.Position(17),
                                    static_cast<double>(static_cast<int>(source.random() % 5000) - 500)};
        SCOPED_TRACE(seed);
        Canvas want(canvas);
        ReferenceFill2(want, args);
        Canvas one(canvas), many(canvas);
        one.Run("fill2", args, 1);
        many.Run("fill2", args, 16);
        ASSERT_TRUE(one.SameBuffers(want)) << one.FirstDifference(want, TruncateToInt32(args[0]));
        ASSERT_TRUE(many.SameBuffers(want));
    }
}

}  // namespace
}  // namespace kinetra::video::effects_testing
