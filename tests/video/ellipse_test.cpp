// ellipse.
#include <gtest/gtest.h>

#include "tests/video/effects_canvas.h"

namespace kinetra::video::effects_testing {
namespace {

// The walk as written, every span of every pass, for radii whose terms fit 64 bits.
void ReferenceEllipse(Canvas& canvas, const std::vector<double>& args) {
    auto arg = [&](int n) { return int64_t{TruncateToInt32(args[n - 1])}; };
    const int64_t buffer = arg(1), cx = arg(2), cy = arg(3), a = arg(4), b = arg(5);
    if (buffer < 0 || buffer > 9 || a < 1 || b < 1) return;
    const PixelYC colour{Low16(arg(6)), Low16(arg(7)), Low16(arg(8))};
    auto span = [&](int64_t x0, int64_t x1, int64_t row) {
        if (x0 >= canvas.W || x1 < 0 || x0 > x1 || row < 0 || row >= canvas.H) return;
        for (int64_t x = std::max<int64_t>(x0, 0); x <= std::min<int64_t>(x1, canvas.W - 1); ++x) {
            canvas.At(int(buffer), x, row) = colour;
        }
    };
    int64_t x = a, k = 0;
    int64_t E = 2 * a * a + (1 - 2 * a) * b * b, F = a * a + (2 - 4 * a) * b * b, P = 2 * a * a;
    int64_t Q = (2 - 4 * a) * b * b, R = 0, S = 4 * a * b * b;
    do {
        span(cx - x, cx + x, cy + k);
        span(cx - x, cx + x, cy - k);
        if (E < 0) {
            ++k;
            P += 4 * a * a;
            E += P;
            R += 4 * a * a;
            F += R;
        } else {
            Q += 4 * b * b;
            S -= 4 * b * b;
            --x;
            if (F >= 0) {
                E -= S;
                F += Q;
            } else {
                ++k;
                P += 4 * a * a;
                R += 4 * a * a;
                E += P - S;
                F += Q + R;
            }
        }
    } while (x >= 0);
}

// Half-widths of the painted rows from the top, -1 for a row left alone.
std::vector<int> HalfWidths(const Canvas& canvas, int cx) {
    std::vector<int> widths;
    for (int y = 0; y < canvas.H; ++y) {
        int left = -1, right = -1;
        for (int x = 0; x < canvas.W; ++x) {
            if (canvas.At(2, x, y).y != 900) continue;
            if (left < 0) left = x;
            right = x;
        }
        if (left >= 0) {
            EXPECT_EQ(cx - left, right - cx) << "row " << y;
        }
        widths.push_back(left < 0 ? -1 : right - cx);
    }
    return widths;
}

TEST(Ellipse, HalfWidthsOfSmallEllipses) {
    struct Case {
        double a, b;
        int first_row;            // of the painted rows around the centre (10, 10)
        std::vector<int> widths;  // their half-widths
    };
    const Case cases[] = {
        {5, 3, 7, {2, 4, 5, 5, 5, 4, 2}},
        {4, 4, 6, {1, 3, 3, 4, 4, 4, 3, 3, 1}},
        {1, 1, 9, {0, 1, 0}},
        {0, 3, 0, {}},
        {3, 0.9, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "a " << c.a << " b " << c.b);
        Canvas canvas(21, 21);
        canvas.Run("ellipse", {2, 10, 10, c.a, c.b, 900, 0, 0});
        std::vector<int> want(21, -1);
        for (size_t i = 0; i < c.widths.size(); ++i) want[c.first_row + i] = c.widths[i];
        EXPECT_EQ(HalfWidths(canvas, 10), want);
    }
}

// A vertical radius of 4a^2 or more stops the walk short of the rows cy +- b.
TEST(Ellipse, TallEllipsesStopOneRowShort) {
    struct Case {
        double a, b;
        int reach;
    };
    for (const Case& c : {Case{1, 6, 5}, Case{2, 16, 15}, Case{2, 15, 15}}) {
        SCOPED_TRACE(::testing::Message() << "a " << c.a << " b " << c.b);
        Canvas canvas(21, 41);
        canvas.Run("ellipse", {2, 10, 20, c.a, c.b, 900, 0, 0});
        const std::vector<int> widths = HalfWidths(canvas, 10);
        for (int y = 0; y < 41; ++y) EXPECT_EQ(widths[y] >= 0, std::abs(y - 20) <= c.reach) << y;
    }
}

TEST(Ellipse, EqualsTheWalkOnRandomArguments) {
    std::mt19937 random(7);
    for (int round = 0; round < 500; ++round) {
        Canvas canvas(37, 29);
        canvas.Randomize(round);
        const std::vector<double> args = {double(random() % 3), double(int(random() % 80) - 20),
                                          double(int(random() % 70) - 20), double(int(random() % 45) - 2),
                                          double(int(random() % 45) - 2), 40000, -3, 5};
        SCOPED_TRACE(::testing::Message() << "round " << round);
        Canvas want(canvas);
        ReferenceEllipse(want, args);
        canvas.Run("ellipse", args);
        ASSERT_TRUE(canvas.SameBuffers(want)) << canvas.FirstDifference(want, int(args[0]));
    }
}

TEST(Ellipse, EllipsesAtTheImagesEdges) {
    // Centred on the corner: the lower-right quarter of the ellipse at the centre of a big image.
    Canvas corner(40, 30), whole(80, 60);
    corner.Run("ellipse", {2, 0, 0, 17, 11, 900, 0, 0});
    whole.Run("ellipse", {2, 40, 30, 17, 11, 900, 0, 0});
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) ASSERT_EQ(corner.At(2, x, y).y, whole.At(2, 40 + x, 30 + y).y);
    }
    Canvas beyond(40, 60);
    const Canvas before(beyond);
    beyond.Run("ellipse", {2, 43, 50, 3, 3, 900, 0, 0});
    EXPECT_TRUE(beyond.SameBuffers(before));
}

// Radii of two million: the walk's terms pass 64 bits, and the visible part of the outline
// must still be where the ellipse is.
TEST(Ellipse, RadiiBeyondSixtyFourBitTermsStayOnTheOutline) {
    const double r = 2000000;
    Canvas side(64, 48);  // the image sees the rightmost point (30, 20)
    side.Run("ellipse", {2, 30 - r, 20, r, r, 900, 0, 0});
    for (int y = 0; y < 48; ++y) {
        int right = -1;
        for (int x = 0; x < 64; ++x) {
            if (side.At(2, x, y).y == 900) right = x;
        }
        EXPECT_EQ(side.At(2, 0, y).y, 900) << y;
        EXPECT_TRUE(right == 29 || right == 30) << y << ": " << right;
        if (y == 20) {
            EXPECT_EQ(right, 30);
        }
    }
    Canvas bottom(64, 48);  // the image sees the lowest point (20, 30)
    bottom.Run("ellipse", {2, 20, 30 - r, r, r, 900, 0, 0});
    for (int y = 0; y < 48; ++y) {
        EXPECT_EQ(bottom.At(2, 20, y).y == 900, y <= 30) << y;
        if (y < 30) {
            EXPECT_EQ(bottom.At(2, 0, y).y, 900) << y;
        }
    }
}

}  // namespace
}  // namespace kinetra::video::effects_testing

namespace kinetra::video::effects_testing {
namespace {

// Radii whose walk would be long are drawn row by row over the rows in sight; they must come
// out as the walk draws them: at the equator, at mid-height and at the poles, flat and tall.
TEST(Ellipse, RowsInSightOfHugeEllipsesMatchTheWalk) {
    const int64_t big = int64_t{1} << 22;
    struct Case {
        int64_t a, b, cx, cy;
    };
    const Case cases[] = {
        {big, 1500, 30 - big, 20},            // right end, at the equator
        {big, 1500, 20, 1500 + 10},           // top pole in sight
        {big, 1500, -big / 2, -700},          // mid-height of a flat one
        {1500, big + 3, 20, 20 - big},        // bottom pole of a tall one
        {1500, big + 3, 20 - 1500 + 7, 25},   // its left end
        {400, big + 9, 30, 15 - big},         // so tall that the walk stops short of the pole
        {big + 5, big + 5, 30, 20 - big / 3}, // a circle, where its terms pass 64 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "a " << c.a << " b " << c.b << " at " << c.cx << "," << c.cy);
        const std::vector<double> args = {2, double(c.cx), double(c.cy), double(c.a), double(c.b), 900, 0, 0};
        Canvas canvas(64, 48);
        canvas.Run("ellipse", args);
        if (double(c.a) * double(c.b) * double(c.b) < 0x1p61) {  // where the reference's 64 bits hold
            Canvas want(64, 48);
            ReferenceEllipse(want, args);
            EXPECT_TRUE(canvas.SameBuffers(want)) << canvas.FirstDifference(want, 2);
        }
        int64_t painted = 0;
        for (size_t i = 0; i < canvas.Area(); ++i) painted += canvas.Image(2)[i].y == 900;
        EXPECT_GT(painted, 0);
    }
}

}  // namespace
}  // namespace kinetra::video::effects_testing
