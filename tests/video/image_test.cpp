// The shared image helpers: the picture side of the arguments, clipping, pixel arithmetic,
// colour conversion.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "tests/support/image_buffers.h"
#include "video/arguments.h"
#include "video/color_space.h"
#include "video/pixels.h"
#include "video/rectangles.h"

namespace kinetra::video {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Arguments of a line run on 8 x 6 buffers.
struct FrameFixture {
    testing::ImageBuffers buffers{8, 6};
    CommandCall call{buffers.line, nullptr, &buffers.context, buffers.table, 2, 0};
    ScriptLine& line = buffers.line;
    FrameContext& context = buffers.context;
};

TEST(Arguments, PictureCommandsCheckBuffersAndLimitSizes) {
    constexpr ArgumentSpec kTable[] = {Buffer(1, "buffer"), Width(2, "w"), Height(3, "h"),
                                       Fraction(4, "opacity"), FrameNumber(5, "frame")};
    struct Case {
        double buffer, w, h;
        bool runs;
        int32_t width, height;
    };
    const Case cases[] = {
        {0, 5, 5, true, 5, 5},       {2.9, 1, 1, true, 1, 1},
        {3, 5, 5, false, 0, 0},  // no buffer behind slot 3
        {-1, 5, 5, false, 0, 0},     {10, 5, 5, false, 0, 0},
        {kNaN, 5, 5, false, 0, 0},   {1, 0.9, 5, false, 0, 0},
        {1, 5, -3, false, 0, 0},     {1, 100000, 1e300, false, 0, 0},
        {1, 100000, 99, true, 8, 6}, {1, kInf, 2, false, 0, 0},
    };
    for (const Case& c : cases) {
        FrameFixture fx;
        fx.buffers.table.slots[3] = nullptr;
        fx.line.arg_value[0] = c.buffer;
        fx.line.arg_value[1] = c.w;
        fx.line.arg_value[2] = c.h;
        fx.line.arg_value[3] = 0.25;
        fx.line.arg_value[4] = -0.5;
        ImageArguments args;
        SCOPED_TRACE(::testing::Message() << c.buffer << " " << c.w << " " << c.h);
        ASSERT_EQ(args.Read(fx.call, kTable), c.runs);
        if (!c.runs) continue;
        EXPECT_EQ(args[2], c.width);
        EXPECT_EQ(args[3], c.height);
        EXPECT_EQ(args[4], 1024);
        EXPECT_EQ(args[5], -1);
        EXPECT_EQ(args.Image(1), fx.buffers.table.Image(args[1]));
    }
}

// A host that reports an image of no pixels gets no command run that names a buffer; swapbuf,
// dispsize and font, which name none, still act on the frame and the settings.
TEST(Arguments, ImagesOfNoPixelsRunNothing) {
    constexpr ArgumentSpec kTable[] = {Buffer(1, "buffer"), Width(2, "w"), Height(3, "h")};
    const std::pair<int32_t, int32_t> sizes[] = {{0, 6}, {8, 0}, {-5, 6}, {8, INT32_MIN}};
    for (const auto& [width, height] : sizes) {
        FrameFixture fx;
        fx.context.max_width = width;
        fx.context.max_height = height;
        fx.line.arg_value[1] = fx.line.arg_value[2] = 4;
        ImageArguments args;
        EXPECT_FALSE(args.Read(fx.call, kTable)) << width << "x" << height;
        EXPECT_TRUE(args.Read(fx.call, kNoArguments)) << width << "x" << height;
    }
}

TEST(Clipping, RegionLimitsToTheImage) {
    const ImageSize size{10, 8};
    struct Case {
        int32_t x0, y0, w, h;
        Region want;
    };
    const Case cases[] = {
        {0, 0, 10, 8, {0, 10, 0, 8}},
        {-10, 2, 20, 3, {0, 10, 2, 5}},
        {3, -5, 2, 6, {3, 5, 0, 1}},
        {12, 0, 5, 5, {10, 10, 0, 5}},
        {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, {10, 10, 8, 8}},
        {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, {0, 0, 0, 0}},
        {-2147483647, 0, INT32_MAX, 1, {0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        const Region r = ClipRegion(c.x0, c.y0, c.w, c.h, size);
        EXPECT_EQ(r.x0, c.want.x0);
        EXPECT_EQ(r.x1, c.want.x1);
        EXPECT_EQ(r.y0, c.want.y0);
        EXPECT_EQ(r.y1, c.want.y1);
    }
}

// The clipped offsets must be exactly the positions the per-pixel test would process.
TEST(Clipping, RectangleMapEqualsThePerPixelTest) {
    const ImageSize size{9, 7};
    std::mt19937 random(7);
    std::uniform_int_distribution<int32_t> coordinate(-12, 14), extent(1, 12);
    const Mirror mirrors[] = {Mirror::kNone, Mirror::kTopToBottom, Mirror::kLeftToRight};
    auto inside = [&](int64_t x, int64_t y) {
        return x >= 0 && x < size.width && y >= 0 && y < size.height;
    };
    for (int trial = 0; trial < 3000; ++trial) {
        const int32_t sx = coordinate(random), sy = coordinate(random), w = extent(random),
                      h = extent(random), dx = coordinate(random), dy = coordinate(random),
                      kx = coordinate(random), ky = coordinate(random);
        const Mirror mirror = mirrors[trial % 3];
        const bool with_key = trial % 2 == 0;
        RectangleMap map(sx, sy, w, h, size);
        map.Destination(dx, dy, mirror);
        if (with_key) map.Also(kx, ky);

        std::set<std::pair<int, int>> expected, got;
        for (int v = 0; v < h; ++v) {
            for (int u = 0; u < w; ++u) {
                const int ddx = mirror == Mirror::kLeftToRight ? dx + w - 1 - u : dx + u;
                const int ddy = mirror == Mirror::kTopToBottom ? dy + h - 1 - v : dy + v;
                if (inside(sx + u, sy + v) && inside(ddx, ddy) &&
                    (!with_key || inside(kx + u, ky + v))) {
                    expected.insert({u, v});
                }
            }
        }
        for (int v = map.v0; v < map.v1; ++v) {
            for (int u = map.u0; u < map.u1; ++u) {
                got.insert({u, v});
                ASSERT_EQ(map.SourceX(u), sx + u);
                ASSERT_EQ(map.DestinationX(u),
                          mirror == Mirror::kLeftToRight ? dx + w - 1 - u : dx + u);
                ASSERT_EQ(map.DestinationY(v),
                          mirror == Mirror::kTopToBottom ? dy + h - 1 - v : dy + v);
            }
        }
        ASSERT_EQ(got, expected) << sx << "," << sy << " " << w << "x" << h << " -> " << dx << ","
                                 << dy << " mirror " << static_cast<int>(mirror);
    }
}

TEST(Clipping, RectangleMapSurvivesTheIntegerLimits) {
    const ImageSize size{16, 16};
    const int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 15, INT32_MAX - 1, INT32_MAX};
    for (int32_t a : extremes) {
        for (int32_t b : extremes) {
            for (Mirror mirror : {Mirror::kNone, Mirror::kLeftToRight, Mirror::kTopToBottom}) {
                RectangleMap map(a, b, 16, 16, size);
                map.Destination(b, a, mirror);
                map.Also(a, a);
                if (map.empty()) continue;
                const Region s = map.SourceRegion(), d = map.DestinationRegion();
                EXPECT_TRUE(s.x0 >= 0 && s.x1 <= 16 && s.y0 >= 0 && s.y1 <= 16);
                EXPECT_TRUE(d.x0 >= 0 && d.x1 <= 16 && d.y0 >= 0 && d.y1 <= 16);
            }
        }
    }
}

TEST(RowLoop, VisitsEveryRowOnceWhateverTheThreadCount) {
    for (int threads : {1, 2, 3, 16}) {
        for (int32_t count : {0, 1, 5, 40}) {
            std::vector<std::atomic<int>> visits(50);
            RowLoop(7, count, threads, [&](int32_t row) { visits[row]++; });
            for (int32_t row = 0; row < 50; ++row) {
                EXPECT_EQ(visits[row].load(), row >= 7 && row < 7 + count ? 1 : 0);
            }
        }
    }
    int calls = 0;
    RowLoop(INT32_MAX, 2, 1, [&](int32_t) { ++calls; });  // rows past the 32-bit range: nothing
    EXPECT_EQ(calls, 0);
}

TEST(PixelArithmetic, BlendShiftsTowardMinusInfinityAndKeepsLow16Bits) {
    struct Case {
        int16_t s, d;
        int32_t a;
        int16_t want;
    };
    const Case cases[] = {
        {-1, 0, 2048, -1},       {4096, 0, 2048, 2048}, {3000, 1000, 8192, 5000},
        {-100, 0, 2048, -50},    {123, 456, 4096, 123}, {123, 456, 0, 456},
        {-1, -1, 1, -1},         {32767, 0, 8192, -2},  // 65534 stored as its low 16 bits
        {4096, 0, INT32_MIN, 0}, {1, 0, 1, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Blend(c.s, c.d, static_cast<uint32_t>(c.a)), c.want)
            << c.s << " " << c.d << " " << c.a;
    }
}

TEST(PixelArithmetic, BilinearSampleKeeps65025Of65536) {
    struct Case {
        int16_t value, want;
    };
    const Case cases[] = {{4096, 4064}, {2048, 2032}, {-2048, -2033}, {0, 0}, {1, 0}, {-1, -1}};
    for (const Case& c : cases) {
        const PixelYC p{c.value, c.value, c.value};
        for (int32_t fx : {0, 1, 128, 255}) {
            for (int32_t fy : {0, 77, 255}) {
                const PixelYC out = BilinearSample(fx, fy, p, p, p, p);
                EXPECT_EQ(out.y, c.want);
                EXPECT_EQ(out.cb, c.want);
                EXPECT_EQ(out.cr, c.want);
            }
        }
    }
    // Weights: p10 alone at fx = 255, fy = 0 gives p10 x 65025 >> 16.
    const PixelYC zero{0, 0, 0}, one{4096, -4096, 32767};
    const PixelYC out = BilinearSample(255, 0, zero, one, zero, zero);
    EXPECT_EQ(out.y, (4096 * 65025) >> 16);
    EXPECT_EQ(out.cb, (-4096 * 65025) >> 16);
    EXPECT_EQ(out.cr, (32767 * 65025) >> 16);
}

// The SSE2 multiply-add form must give BilinearSample's result for every neighbourhood,
// including the extremes where a sum reaches 32768 * 65025 and a wrong bias or weight would show.
TEST(PixelArithmetic, BilinearSampleAtSSE2EqualsBilinearSample) {
#if !defined(KINETRA_VECTOR_KERNELS)
    GTEST_SKIP() << "this build has no vector forms";
#else
    const int16_t values[] = {INT16_MIN, -32767, -4097, -1, 0, 1, 2048, 32766, INT16_MAX};
    const int32_t fractions[] = {0, 1, 127, 128, 254, 255};
    std::mt19937 random(5);
    auto any = [&] { return values[random() % std::size(values)]; };
    for (int n = 0; n < 4000; ++n) {
        // Four neighbours in a 2 x 2 picture, reached through the offsets or all the same pixel.
        PixelYC square[4];
        for (PixelYC& p : square) p = n % 5 == 0 ? PixelYC{values[n % 9], values[n % 9], values[n % 9]}
                                                 : PixelYC{any(), any(), any()};
        const bool alone = n % 7 == 0;
        const size_t right = alone ? 0 : 1, down = alone ? 0 : 2;
        const int32_t fx = fractions[random() % std::size(fractions)];
        const int32_t fy = fractions[random() % std::size(fractions)];
        PixelYC got{};
        BilinearSampleAtSSE2(&got, square, right, down, fx, fy);
        const PixelYC want = BilinearSample(fx, fy, square[0], square[right], square[down],
                                            square[down + right]);
        ASSERT_EQ(got.y, want.y) << n;
        ASSERT_EQ(got.cb, want.cb) << n;
        ASSERT_EQ(got.cr, want.cr) << n;
    }
#endif
}

TEST(Colour, ConversionsFollowTheirTermOrderAndTruncation) {
    struct Case {
        PixelYC in;
        RGB rgb;
        PixelYC back;
    };
    const Case cases[] = {
        {{4096, 0, 0}, {4096, 4096, 4096}, {4095, 0, 0}},
        {{2048, 1000, -500}, {1347, 2061, 3820}, {2048, 1000, -499}},
        {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
        {{0, -2048, 2048}, {2871, -757, -3629}, {0, -2049, 2046}},
    };
    for (const Case& c : cases) {
        const RGB rgb = YCToRGB(c.in);
        EXPECT_EQ(rgb.r, c.rgb.r);
        EXPECT_EQ(rgb.g, c.rgb.g);
        EXPECT_EQ(rgb.b, c.rgb.b);
        const PixelYC back = RGBToYC(rgb.r, rgb.g, rgb.b);
        EXPECT_EQ(back.y, c.back.y);
        EXPECT_EQ(back.cb, c.back.cb);
        EXPECT_EQ(back.cr, c.back.cr);
        // The scaled form on values scaled by 4096 gives the same result.
        const PixelYC scaled =
            RGBToYC(rgb.r * 4096.0, rgb.g * 4096.0, rgb.b * 4096.0, kInverse4096);
        EXPECT_EQ(scaled.y, back.y);
        EXPECT_EQ(scaled.cb, back.cb);
        EXPECT_EQ(scaled.cr, back.cr);
    }
}

TEST(ReadBeforeWriting, CopiesOnlyWhenTheSameBufferOverlaps) {
    testing::ImageBuffers buffers(6, 4);
    CommandCall call{buffers.line, nullptr, &buffers.context, buffers.table, 2, 0};
    const auto* work = static_cast<const PixelYC*>(buffers.table.work_area);
    for (int i = 0; i < 24; ++i) buffers.Image(0)[i] = {static_cast<int16_t>(i), 0, 0};
    ImageArguments args;
    ASSERT_TRUE(args.Read(call, {}));
    PixelYC* a = buffers.Image(0);
    PixelYC* b = buffers.Image(1);
    EXPECT_EQ(ReadBeforeWriting(args, a, b, {0, 3, 0, 3}, {0, 3, 0, 3}), a);
    EXPECT_EQ(ReadBeforeWriting(args, a, a, {0, 3, 0, 2}, {3, 6, 0, 2}), a);
    const PixelYC* copy = ReadBeforeWriting(args, a, a, {1, 4, 1, 3}, {2, 5, 2, 4});
    ASSERT_EQ(copy, work);
    for (int y = 1; y < 3; ++y) {
        for (int x = 1; x < 4; ++x) EXPECT_EQ(copy[y * 6 + x].y, y * 6 + x);
    }
    EXPECT_EQ(copy[0].y, 0);  // outside the read region: untouched work area
    EXPECT_EQ(copy[5].y, 0);
}

}  // namespace
}  // namespace kinetra::video
