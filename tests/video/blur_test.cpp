// mosaic, defocus and diffuse.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <utility>

#include "host/random.h"
#include "tests/video/effects_canvas.h"

namespace kinetra::video::effects_testing {
namespace {

struct WideSums {
    int64_t y = 0, cb = 0, cr = 0, count = 0;
    void Add(const PixelYC& p) {
        y += p.y;
        cb += p.cb;
        cr += p.cr;
        ++count;
    }
    PixelYC Mean() const { return {int16_t(y / count), int16_t(cb / count), int16_t(cr / count)}; }
};

struct Neighbourhood {
    int src, dst;
    int64_t sx, sy, w, h, dx, dy, p9, p10;
    bool valid = false;
};

Neighbourhood ReadArguments(const Canvas& canvas, const std::vector<double>& args) {
    auto arg = [&](int n) { return int64_t{TruncateToInt32(args[n - 1])}; };
    Neighbourhood n;
    n.src = int(arg(1));
    n.dst = int(arg(2));
    if (n.src < 0 || n.src > 9 || n.dst < 0 || n.dst > 9 || arg(5) < 1 || arg(6) < 1) return n;
    n.sx = arg(3);
    n.sy = arg(4);
    n.w = std::min<int64_t>(arg(5), canvas.W);
    n.h = std::min<int64_t>(arg(6), canvas.H);
    n.dx = arg(7);
    n.dy = arg(8);
    n.p9 = arg(9);
    n.p10 = arg(10);
    n.valid = true;
    return n;
}

// mosaic as its rule says: one accumulator per cell number, a pass over the source, then one
// over the destination.
void ReferenceMosaic(Canvas& canvas, const std::vector<double>& args) {
    const Neighbourhood n = ReadArguments(canvas, args);
    if (!n.valid) return;
    const int64_t cw = std::clamp<int64_t>(n.p9, 1, canvas.W), ch = std::clamp<int64_t>(n.p10, 1, canvas.H);
    std::vector<WideSums> cells(static_cast<size_t>(n.w * n.h));
    auto cell = [&](int64_t cc, int64_t rr) -> WideSums& { return cells[size_t((rr / ch) * n.w / cw + cc / cw)]; };
    for (int64_t rr = 0; rr < n.h; ++rr) {
        for (int64_t cc = 0; cc < n.w; ++cc) {
            if (canvas.Inside(n.sx + cc, n.sy + rr)) cell(cc, rr).Add(canvas.At(n.src, n.sx + cc, n.sy + rr));
        }
    }
    for (int64_t rr = 0; rr < n.h; ++rr) {
        for (int64_t cc = 0; cc < n.w; ++cc) {
            if (canvas.Inside(n.dx + cc, n.dy + rr) && cell(cc, rr).count > 0) {
                canvas.At(n.dst, n.dx + cc, n.dy + rr) = cell(cc, rr).Mean();
            }
        }
    }
}

// defocus with every window summed afresh.
void ReferenceDefocus(Canvas& canvas, const std::vector<double>& args) {
    const Neighbourhood n = ReadArguments(canvas, args);
    if (!n.valid) return;
    const int64_t kw = std::clamp<int64_t>(std::max<int64_t>(n.p9, 2), 1, canvas.W);
    const int64_t kh = std::clamp<int64_t>(std::max<int64_t>(n.p10, 2), 1, canvas.H);
    const int64_t a = std::max<int64_t>(kw / 2, 1), b = std::max<int64_t>(kh / 2, 1);
    const int64_t right = std::min<int64_t>(n.sx + n.w, canvas.W), bottom = std::min<int64_t>(n.sy + n.h, canvas.H);
    const Canvas before(canvas);
    for (int64_t r = n.sy; r < n.sy + n.h; ++r) {
        for (int64_t c = n.sx; c < n.sx + n.w; ++c) {
            const int64_t x = c - n.sx + n.dx, y = r - n.sy + n.dy;
            if (!canvas.Inside(c, r) || !canvas.Inside(x, y)) continue;
            WideSums sums;
            for (int64_t i = r - b; i < r + b; ++i) {
                for (int64_t k = c - a; k < c + a; ++k) {
                    if (k >= 0 && k < right && i >= 0 && i < bottom) sums.Add(before.At(n.src, k, i));
                }
            }
            canvas.At(n.dst, x, y) = sums.Mean();
        }
    }
}

std::vector<double> RandomNeighbourhood(ArgumentSource& a, int32_t W, int32_t H) {
    const double p9 = static_cast<int>(a.random() % 14) - 2, p10 = static_cast<int>(a.random() % 14) - 2;
    // Same buffer and nearby corners now and then, to cover reading before writing.
    const double src = a.Buffer(), dst = a.random() % 3 == 0 ? src : a.Buffer();
    return {src, dst, a.Position(W), a.Position(H), a.Size(W), a.Size(H), a.Position(W), a.Position(H), p9, p10};
}

TEST(Mosaic, CellsOfAWidthThatDoesNotDivideTheRectangleShareTheirMeans) {
    Canvas canvas(12, 5);
    canvas.Randomize(3);
    canvas.Run("mosaic", {2, 3, 0, 0, 10, 3, 0, 0, 3, 1});
    // Cell numbers: row 0 has 0..3, row 1 has 3..6, row 2 has 6..9; column 9 is a cell of its own.
    auto mean_of = [&](std::vector<std::pair<int, int>> pixels) {
        WideSums sums;
        for (auto [x, y] : pixels) sums.Add(canvas.At(2, x, y));
        return sums.Mean();
    };
    const PixelYC shared_3 = mean_of({{9, 0}, {0, 1}, {1, 1}, {2, 1}});
    const PixelYC shared_6 = mean_of({{9, 1}, {0, 2}, {1, 2}, {2, 2}});
    EXPECT_TRUE(Same(canvas.At(3, 9, 0), shared_3));
    EXPECT_TRUE(Same(canvas.At(3, 1, 1), shared_3));
    EXPECT_TRUE(Same(canvas.At(3, 9, 1), shared_6));
    EXPECT_TRUE(Same(canvas.At(3, 2, 2), shared_6));
    EXPECT_TRUE(Same(canvas.At(3, 4, 1), mean_of({{3, 1}, {4, 1}, {5, 1}})));
    EXPECT_TRUE(Same(canvas.At(3, 9, 2), canvas.At(2, 9, 2)));  // the last cell has no partner
}

TEST(Mosaic, SmallCellsCopyAndMeansTruncateTowardZero) {
    struct Case {
        double cw, ch;
    };
    for (const Case& c : {Case{1, 1}, Case{0, -5}, Case{0.9, 1}}) {
        Canvas canvas(9, 7);
        canvas.Randomize(4);
        canvas.Run("mosaic", {2, 3, 1, 1, 7, 5, 0, 0, c.cw, c.ch});
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 7; ++x) ASSERT_TRUE(Same(canvas.At(3, x, y), canvas.At(2, x + 1, y + 1)));
        }
    }
    Canvas canvas(4, 4);
    canvas.At(2, 0, 0) = {1, -3, 3};
    canvas.At(2, 1, 0) = {2, -2, 2};
    canvas.Run("mosaic", {2, 2, 0, 0, 2, 1, 0, 0, 2, 1});
    EXPECT_TRUE(Same(canvas.At(2, 0, 0), PixelYC{1, -2, 2}));
    EXPECT_TRUE(Same(canvas.At(2, 1, 0), PixelYC{1, -2, 2}));
}

// Cells of 49 and 107 pixels, where a product with the nearest reciprocal of the count falls
// short of a whole mean: a uniform area keeps its values.
TEST(Mosaic, UniformCellsKeepTheirValue) {
    struct Case {
        double cw, ch;
    };
    for (const Case& c : {Case{7, 7}, Case{107, 1}}) {
        for (int16_t v : {1, 2, 3, 6, -4, 4096}) {
            Canvas canvas(107, 7);
            canvas.Run("fill", {2, 0, 0, 107, 7, double(v), double(-v), double(v)});
            canvas.Run("mosaic", {2, 3, 0, 0, 107, 7, 0, 0, c.cw, c.ch});
            EXPECT_TRUE(Same(canvas.At(3, 50, 3), canvas.At(2, 50, 3))) << c.cw << " " << v;
        }
    }
}

TEST(Mosaic, CellsWithNoPixelInsideTheImageLeaveTheirDestination) {
    Canvas canvas(10, 10);
    canvas.Run("fill", {2, 0, 0, 10, 10, 800, 0, 0});
    canvas.Run("fill", {3, 0, 0, 10, 10, -5, -5, -5});
    // Cells of 4 x 4 from (-6, 0): the first cell (columns -6..-3) is wholly outside.
    canvas.Run("mosaic", {2, 3, -6, 0, 10, 4, 0, 0, 4, 4});
    for (int x = 0; x < 10; ++x) EXPECT_EQ(canvas.At(3, x, 0).y, x < 4 ? -5 : 800) << x;
}

TEST(Defocus, WindowsOfOddSizesAndAtTheRectanglesEdges) {
    Canvas canvas(8, 6);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) canvas.At(2, x, y) = {int16_t(100 * x + y), 0, 0};
    }
    struct Case {
        std::vector<double> args;
        int x, y;       // destination pixel to look at
        int16_t want;   // its y
    };
    const Case cases[] = {
        // kw = kh = 1 act as 2: the pixel, its left, upper and upper-left neighbours.
        {{2, 3, 2, 2, 4, 3, 0, 0, 1, 1}, 0, 0, (100 + 1 + 200 + 1 + 100 + 2 + 200 + 2) / 4},
        // kw = 3 acts as 2, kh = 5 as 4: columns 1..2, rows 0..3 around (2, 2).
        {{2, 3, 2, 2, 4, 3, 0, 0, 3, 5}, 0, 0, (4 * 100 + 4 * 200 + 2 * (0 + 1 + 2 + 3)) / 8},
        // At the rectangle's right column (5) nothing right of it counts: columns 2..5, rows 1..2.
        {{2, 3, 2, 2, 4, 1, 0, 0, 6, 2}, 3, 0, (2 * (200 + 300 + 400 + 500) + 4 * (1 + 2)) / 8},
        // At the image's left edge the window holds what is inside: columns 0..1.
        {{2, 3, 0, 0, 2, 1, 0, 0, 4, 2}, 0, 0, (0 + 100) / 2},
    };
    for (const Case& c : cases) {
        Canvas run(canvas);
        run.Run("defocus", c.args);
        EXPECT_EQ(run.At(3, c.x, c.y).y, c.want) << c.args[8] << "x" << c.args[9];
    }
}

// Luma 100 + x, cb -x and cr 8y in a picture wider than three runs of the row kernels. Windows
// of 4 x 2 cover columns c - 2 .. c + 1 and rows r - 1 .. r: inside, the mean of x is c - 1/2,
// truncated toward zero to c - 1 (and -(c - 1)); the mean of 8y is 8r - 4 (0 in row 0). At the
// edges only the columns and rows inside the picture count.
TEST(Defocus, MeansAcrossWholeRunsAndAtTheEdges) {
    Canvas canvas(193, 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 193; ++x) canvas.At(2, x, y) = {int16_t(100 + x), int16_t(-x), int16_t(8 * y)};
    }
    const std::pair<int, int16_t> kMeansOfX[] = {
        {0, 0},      // columns 0..1: 0.5
        {1, 1},      // columns 0..2: 1
        {2, 1},      // columns 0..3: 1.5
        {3, 2},      // columns 1..4: 2.5
        {64, 63},    // columns 62..65: 63.5
        {128, 127},  // columns 126..129: 127.5
        {190, 189},  // columns 188..191: 189.5
        {191, 190},  // columns 189..192: 190.5
        {192, 191},  // columns 190..192: 191
    };
    const int16_t kMeansOf8Y[4] = {0, 4, 12, 20};
    for (int threads : {1, 2}) {  // one block of rows, whose sums move down every row, and two
        Canvas run(canvas);
        // What earlier commands left in the scratch, past this one's sums, must not count.
        memset(run.table.column_scratch, 0x55, run.table.column_scratch_bytes);
        run.Run("defocus", {2, 3, 0, 0, 193, 4, 0, 0, 4, 2}, threads);
        for (int y = 0; y < 4; ++y) {
            for (const auto& [x, mean] : kMeansOfX) {
                const PixelYC& got = run.At(3, x, y);
                EXPECT_TRUE(Same(got, {int16_t(100 + mean), int16_t(-mean), kMeansOf8Y[y]}))
                    << x << "," << y << " on " << threads << " thread(s): " << got.y << " " << got.cb << " " << got.cr;
            }
        }
    }
}

TEST(Defocus, AnImageOnePixelWideAveragesItsColumn) {
    Canvas canvas(1, 5);
    for (int y = 0; y < 5; ++y) canvas.At(2, 0, y) = {int16_t(10 * y), 0, 0};
    canvas.Run("defocus", {2, 3, 0, 0, 1, 5, 0, 0, 4, 4});
    const int16_t want[5] = {5, 10, 15, 25, 30};  // rows r - 2 .. r + 1 of 0..4
    for (int y = 0; y < 5; ++y) EXPECT_EQ(canvas.At(3, 0, y).y, want[y]) << y;
}

TEST(Neighbourhood, FastPathsEqualTheRulesOnRandomArgumentsForAnyThreadCount) {
    auto arguments = [](uint32_t seed) {
        ArgumentSource a(seed, 27, 19);
        return RandomNeighbourhood(a, 27, 19);
    };
    testing::ExpectFastPathsEqualReference("mosaic", ReferenceMosaic, 27, 19, arguments);
    testing::ExpectFastPathsEqualReference("defocus", ReferenceDefocus, 27, 19, arguments);
}

// Rectangles inside the image with narrow cells: cell numbers shared across cell rows, and
// rectangles narrower than a cell, whose cell rows all share numbers in runs.
TEST(Mosaic, SharedCellsEqualTheRuleOnRandomRectangles) {
    testing::ExpectFastPathsEqualReference("mosaic", ReferenceMosaic, 27, 19, [](uint32_t seed) {
        std::mt19937 random(seed);
        auto pick = [&](int lo, int hi) { return double(lo + int(random() % (hi - lo + 1))); };
        const double w = pick(1, 27), h = pick(1, 19);
        return std::vector<double>{2, double(random() % 2 ? 2 : 3), pick(-3, 27 - w), pick(-3, 19 - h), w, h,
                                   pick(-3, 27 - w), pick(-3, 19 - h), pick(1, 30), pick(1, 4)};
    });
}

// A destination cut at the image's right edge ends the row before the source rectangle does:
// the window then stops short of columns it has no sums for. Run first after the memory is
// released, so that the column sums are allocated to the byte and an overrun shows.
TEST(Defocus, RowsEndingBeforeTheRectangleDoes) {
    for (int threads : {1, 2, 3}) {
        Canvas canvas(20, 6);
        canvas.Randomize(21);
        const std::vector<double> args = {2, 3, 0, 0, 20, 6, 5, 0, 4, 4};
        Canvas want(canvas);
        ReferenceDefocus(want, args);
        canvas.Run("defocus", args, threads);
        EXPECT_TRUE(canvas.SameBuffers(want)) << canvas.FirstDifference(want, 3);
    }
}

TEST(Defocus, WithoutMemoryForTheColumnSumsGivesTheSameMeans) {
    Canvas canvas(31, 17);
    canvas.Randomize(8);
    const std::vector<double> args = {2, 3, -3, 2, 30, 14, 1, 1, 7, 4};
    Canvas want(canvas);
    ReferenceDefocus(want, args);
    canvas.table.column_scratch = nullptr;
    canvas.table.column_scratch_bytes = 0;
    canvas.Run("defocus", args, 3);
    EXPECT_TRUE(canvas.SameBuffers(want)) << canvas.FirstDifference(want, 3);
}

TEST(Diffuse, FourDrawsAtOnceAreTheNextFourAndLeaveTheSameState) {
    for (uint32_t start : {0u, 1u, 0x9E3779B9u, 0xFFFFFFFFu}) {
        uint32_t one_by_one = start, at_once = start, draws[4];
        NextFourDraws(at_once, draws);
        for (uint32_t draw : draws) EXPECT_EQ(draw, NextDraw(one_by_one)) << start;
        EXPECT_EQ(at_once, one_by_one) << start;
    }
}

TEST(Diffuse, EveryPixelComesFromItsLimitedNeighbourhood) {
    struct Case {
        std::vector<double> args;
        int64_t reach_x, reach_y;
    };
    const Case cases[] = {
        {{2, 3, 0, 0, 64, 48, 0, 0, 0, 0}, 1, 1},    // a reach of 0 acts as 1
        {{2, 3, 10, 4, 80, 40, 2, 5, 3, 2}, 3, 2},   // the rectangle runs past the right edge
        {{2, 3, 3, 3, 30, 20, 3, 3, 1, 1}, 1, 1},
    };
    for (const Case& c : cases) {
        Canvas canvas(64, 48);
        // Every pixel names its own position.
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 64; ++x) canvas.At(2, x, y) = {int16_t(x), int16_t(y), 0};
        }
        canvas.Run("fill", {3, 0, 0, 64, 48, -1, -1, -1});
        canvas.Run("diffuse", c.args, 2);
        const int64_t sx = int64_t(c.args[2]), sy = int64_t(c.args[3]);
        const int64_t w = std::min<int64_t>(int64_t(c.args[4]), 64), h = std::min<int64_t>(int64_t(c.args[5]), 48);
        const int64_t right = std::min<int64_t>(sx + w, 64), bottom = std::min<int64_t>(sy + h, 48);
        std::set<std::pair<int64_t, int64_t>> offsets;
        for (int64_t r = sy; r < sy + h; ++r) {
            for (int64_t col = sx; col < sx + w; ++col) {
                const int64_t x = col - sx + int64_t(c.args[6]), y = r - sy + int64_t(c.args[7]);
                if (!canvas.Inside(col, r) || !canvas.Inside(x, y)) continue;
                const PixelYC& p = canvas.At(3, x, y);
                ASSERT_GE(p.y, std::max<int64_t>(0, col - c.reach_x));
                ASSERT_LE(p.y, std::min(right - 1, col + c.reach_x));
                ASSERT_GE(p.cb, std::max<int64_t>(0, r - c.reach_y));
                ASSERT_LE(p.cb, std::min(bottom - 1, r + c.reach_y));
                if (col - c.reach_x >= 0 && col + c.reach_x < right && r - c.reach_y >= 0 && r + c.reach_y < bottom) {
                    offsets.insert({p.y - col, p.cb - r});
                }
            }
        }
        // Well inside, every offset of the reach turns up.
        EXPECT_EQ(offsets.size(), size_t((2 * c.reach_x + 1) * (2 * c.reach_y + 1)));
    }
}

}  // namespace
}  // namespace kinetra::video::effects_testing
