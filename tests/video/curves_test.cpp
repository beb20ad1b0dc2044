// gamma, posterize and posterize_rgb.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/video/effects_canvas.h"
#include "video/rectangles.h"

namespace kinetra::video::effects_testing {
namespace {

int16_t G(int32_t v, double scale, double gamma) {
    return Low16(TruncateToInt32(std::pow(v * (1.0 / scale), 1.0 / gamma) * scale));
}

TEST(Gamma, CurvesOfSingleValues) {
    struct Case {
        double gy, gcb, gcr;
        PixelYC in, out;
    };
    const Case cases[] = {
        {1, 1, 1, {1234, -2000, 2047}, {1234, -2000, 2047}},
        {1, 1, 1, {-30000, 32767, -32768}, {-30000, 32767, -32768}},
        {2, 1, 1, {1024, 0, 0}, {2048, 0, 0}},
        {2, 1, 1, {4096, 0, 0}, {4096, 0, 0}},
        {1, 2, 1, {0, -1024, 0}, {0, 0, 0}},        // no real power of a negative base
        {1, 2, 1, {0, 1024, 0}, {0, 1448, 0}},
        {1, 0.5, 1, {0, -1024, 0}, {0, 512, 0}},
        {1, 0.5, 3, {0, -1024, -1024}, {0, 512, 0}},  // cr has its own gamma
        {1, 0.5, 3, {0, 3000, 3000}, {0, G(3000, 2048, 0.5), G(3000, 2048, 3)}},
        {2, 1, 1, {5000, 0, 0}, {G(5000, 4096, 2), 0, 0}},  // beyond the table: the curve itself
        {0, 1, 1, {1024, 0, 0}, {0, 0, 0}},          // gamma 0: an infinite exponent
        {0, 1, 1, {4096, 0, 0}, {4096, 0, 0}},
        {0, 1, 1, {5000, 0, 0}, {0, 0, 0}},          // infinity does not fit: 0
        {0.5, 1, 1, {32767, 0, 0}, {-16, 0, 0}},  // 262128.0002: its low 16 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.gy << "/" << c.gcb << "/" << c.gcr << " on " << c.in.y << "/" << c.in.cb << "/" << c.in.cr);
        Canvas canvas(3, 2);
        canvas.At(2, 1, 1) = c.in;
        canvas.Run("gamma", {2, 0, 0, 3, 2, c.gy, c.gcb, c.gcr});
        EXPECT_TRUE(Same(canvas.At(2, 1, 1), c.out))
            << canvas.At(2, 1, 1).y << "/" << canvas.At(2, 1, 1).cb << "/" << canvas.At(2, 1, 1).cr;
    }
}

// Alternating triples must each see their own curves: the tables follow the triple.
TEST(Gamma, EqualsTheCurveOnRandomPixelsAsTheTriplesChange) {
    const double triples[][3] = {{2, 0.5, 3}, {0.3, 1.7, 1}, {2, 0.5, 3}, {2, 0.5, 3.0000001}, {-1.5, 9, 0.01}};
    Canvas canvas(41, 13);
    canvas.Randomize(11);
    for (const auto& g : triples) {
        Canvas want(canvas);
        const Region region{3, 40, 1, 12};
        for (int32_t y = region.y0; y < region.y1; ++y) {
            for (int32_t x = region.x0; x < region.x1; ++x) {
                PixelYC& p = want.At(4, x, y);
                p = {G(p.y, 4096, g[0]), G(p.cb, 2048, g[1]), G(p.cr, 2048, g[2])};
            }
        }
        Canvas one(canvas), many(canvas);
        one.Run("gamma", {4, 3, 1, 37, 11, g[0], g[1], g[2]}, 1);
        many.Run("gamma", {4, 3, 1, 37, 11, g[0], g[1], g[2]}, 16);
        ASSERT_TRUE(one.SameBuffers(want)) << g[0] << " " << one.FirstDifference(want, 4);
        ASSERT_TRUE(many.SameBuffers(want));
    }
}

TEST(Posterize, StepsFromLevelCounts) {
    struct Case {
        double na, nb, nc;
        PixelYC in, out;
    };
    const Case cases[] = {
        {2, 2, 2, {2047, -1, 0}, {0, -2048, 2048}},
        {2, 2, 2, {2048, 0, -2048}, {4096, 2048, -2048}},
        {5, 2, 2, {511, 0, 0}, {0, 2048, 2048}},
        {5, 2, 2, {512, 0, 0}, {1024, 2048, 2048}},
        {7, 2, 2, {4096, 0, 0}, {4092, 2048, 2048}},  // step 682
        {1, 0, -3, {2048, -1, -1}, {4096, -2048, -2048}},  // fewer than 2 levels act as 2
        {4097, 4097, 4097, {1234, -777, 2048}, {1234, -777, 2048}},
        {4098, 1e9, 2147483647.0, {1234, -777, 2048}, {1234, -777, 2048}},  // step 1, never 0
        {2, 2, 2, {-5, -3000, 3000}, {0, -2048, 2048}},
        {4097, 4097, 4097, {5000, -30000, 30000}, {4096, -2048, 2048}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.na << "/" << c.nb << "/" << c.nc << " on " << c.in.y << "/" << c.in.cb << "/" << c.in.cr);
        Canvas canvas(2, 2);
        canvas.At(2, 0, 0) = c.in;
        canvas.Run("posterize", {2, 3, 0, 0, 1, 1, 1, 1, c.na, c.nb, c.nc});
        const PixelYC& got = canvas.At(3, 1, 1);
        EXPECT_TRUE(Same(got, c.out)) << got.y << "/" << got.cb << "/" << got.cr;
    }
}

TEST(Posterize, WhiteThroughRGBComesBackAs4095) {
    Canvas canvas(2, 1);
    canvas.At(2, 0, 0) = {4096, 0, 0};
    canvas.Run("posterize_rgb", {2, 2, 0, 0, 1, 1, 1, 0, 2, 2, 2});
    EXPECT_TRUE(Same(canvas.At(2, 1, 0), PixelYC{4095, 0, 0}));
}

int32_t Q(int32_t v, int32_t levels) {
    const int32_t s = 4096 / (std::clamp(levels, 2, 4097) - 1);
    return std::clamp((v + s / 2) / s * s, 0, 4096);
}

void ReferencePosterize(Canvas& canvas, const std::vector<double>& args, bool rgb) {
    auto arg = [&](int n) { return TruncateToInt32(args[n - 1]); };
    if (arg(1) < 0 || arg(1) > 9 || arg(2) < 0 || arg(2) > 9 || arg(5) < 1 || arg(6) < 1) return;
    const int64_t sx = arg(3), sy = arg(4), w = std::min(arg(5), canvas.W), h = std::min(arg(6), canvas.H);
    const Canvas before(canvas);
    for (int64_t r = sy; r < sy + h; ++r) {
        for (int64_t c = sx; c < sx + w; ++c) {
            const int64_t x = c - sx + arg(7), y = r - sy + arg(8);
            if (!canvas.Inside(c, r) || !canvas.Inside(x, y)) continue;
            const PixelYC p = before.At(arg(1), c, r);
            if (!rgb) {
                canvas.At(arg(2), x, y) = {int16_t(Q(p.y, arg(9))), int16_t(Q(p.cb + 2048, arg(10)) - 2048),
                                           int16_t(Q(p.cr + 2048, arg(11)) - 2048)};
                continue;
            }
            const double Y = p.y, Cb = p.cb, Cr = p.cr;
            const double R = Q(TruncateToInt32(Y + 1.402 * Cr), arg(9));
            const double G = Q(TruncateToInt32(Y - 0.344 * Cb - 0.714 * Cr), arg(10));
            const double B = Q(TruncateToInt32(Y + 1.772 * Cb), arg(11));
            canvas.At(arg(2), x, y) = {Low16(TruncateToInt32((0.587 * G + 0.299 * R) + 0.114 * B)),
                                       Low16(TruncateToInt32(0.5 * B - (0.331 * G + 0.169 * R))),
                                       Low16(TruncateToInt32((0.5 * R - 0.419 * G) - 0.081 * B))};
        }
    }
}

// Every 16-bit value of every component, through level counts that give every kind of step.
TEST(Posterize, EqualsTheRuleForEveryValue) {
    Canvas canvas(256, 256);
    for (int i = 0; i < 65536; ++i) {
        const int16_t v = static_cast<int16_t>(i - 32768);
        canvas.Image(2)[i] = {v, static_cast<int16_t>(-v), static_cast<int16_t>(v / 3)};
    }
    for (int levels : {2, 3, 4, 5, 6, 7, 9, 13, 17, 100, 683, 1000, 2048, 2049, 3000, 4095, 4096, 4097}) {
        SCOPED_TRACE(levels);
        for (bool rgb : {false, true}) {
            const std::vector<double> args = {2, 3, 0, 0, 256, 256, 0, 0, double(levels), double(levels), double(levels)};
            Canvas want(canvas), got(canvas);
            ReferencePosterize(want, args, rgb);
            got.Run(rgb ? "posterize_rgb" : "posterize", args);
            ASSERT_TRUE(got.SameBuffers(want)) << got.FirstDifference(want, 3);
        }
    }
}

TEST(Posterize, EqualsTheRuleOnRandomArgumentsForAnyThreadCount) {
    for (bool rgb : {false, true}) {
        for (uint32_t seed = 0; seed < 300; ++seed) {
            Canvas canvas(25, 18);
            canvas.Randomize(seed);
            ArgumentSource a(seed, canvas.W, canvas.H);
            const double src = a.Buffer(), dst = a.random() % 3 == 0 ? src : a.Buffer();
            const std::vector<double> args = {src, dst, a.Position(25), a.Position(18), a.Size(25), a.Size(18),
                                              a.Position(25), a.Position(18), double(int(a.random() % 40) - 3),
                                              double(int(a.random() % 300)), double(a.random() % 5000)};
            SCOPED_TRACE(::testing::Message() << (rgb ? "posterize_rgb" : "posterize") << " seed " << seed);
            Canvas want(canvas);
            ReferencePosterize(want, args, rgb);
            Canvas one(canvas), many(canvas);
            one.Run(rgb ? "posterize_rgb" : "posterize", args, 1);
            many.Run(rgb ? "posterize_rgb" : "posterize", args, 16);
            ASSERT_TRUE(one.SameBuffers(want)) << one.FirstDifference(want, TruncateToInt32(args[1]));
            ASSERT_TRUE(many.SameBuffers(want));
        }
    }
}

}  // namespace
}  // namespace kinetra::video::effects_testing
