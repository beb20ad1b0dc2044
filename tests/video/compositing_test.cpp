// copy, mask, blend, flip and colour commands: numeric cases, a per-pixel reference written
// straight from the rules, and thread-count independence on random arguments.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "kinetra/editor/filter_host.h"
#include "script/arguments.h"
#include "tests/support/image_buffers.h"
#include "tests/support/plugin_harness.h"
#include "video/commands.h"
#include "video/plugin.h"

namespace kinetra::video {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

bool operator==(const PixelYC& a, const PixelYC& b) {
    return a.y == b.y && a.cb == b.cb && a.cr == b.cr;
}

using Bench = testing::ImageBuffers;

// ---------------------------------------------------------------------------------------------
// The reference: every rule written as plainly as possible, per pixel, from a copy of all
// buffers taken before the command (so overlapping same-buffer work reads the old pixels).

int32_t Wrap32(int64_t v) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}
int16_t Store(int64_t v) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(v)));
}
int32_t Sar12(int64_t v) { return Wrap32(v) >> 12; }

struct Reference {
    Bench& bench;
    std::vector<PixelYC> before;
    explicit Reference(Bench& b) : bench(b), before(b.Snapshot()) {}

    bool Inside(int64_t x, int64_t y) const {
        return x >= 0 && x < bench.W && y >= 0 && y < bench.H;
    }
    const PixelYC& Old(int b, int64_t x, int64_t y) const {
        return before[b * bench.Area() + y * bench.W + x];
    }
    static bool BufferOk(int32_t b) { return b >= 0 && b <= 9; }
    bool Size(int32_t& w, int32_t& h) const {
        if (w < 1 || h < 1) return false;
        w = std::min(w, bench.W);
        h = std::min(h, bench.H);
        return true;
    }

    // Visits the rectangle as the rules say: every source position, mapped destination and
    // key; calls op(source pixel, key pixel or null, destination pixel).
    void Rect(const PixelYC* source_image, int src, int dst, int32_t sx, int32_t sy, int32_t w,
              int32_t h, int32_t dx, int32_t dy, int mirror, int key, int32_t kx, int32_t ky,
              const std::function<void(const PixelYC&, const PixelYC*, PixelYC&)>& op) {
        for (int64_t y = sy; y < int64_t{sy} + h; ++y) {
            for (int64_t x = sx; x < int64_t{sx} + w; ++x) {
                int64_t tx = int64_t{dx} + x - sx, ty = int64_t{dy} + y - sy;
                if (mirror == 1) ty = int64_t{dy} + (h - 1) - (y - sy);
                if (mirror == 2) tx = int64_t{dx} + (w - 1) - (x - sx);
                const int64_t qx = int64_t{kx} + x - sx, qy = int64_t{ky} + y - sy;
                if (!Inside(x, y) || !Inside(tx, ty)) continue;
                if (key >= 0 && !Inside(qx, qy)) continue;
                const PixelYC& s = source_image ? source_image[y * bench.W + x] : Old(src, x, y);
                op(s, key >= 0 ? &Old(key, qx, qy) : nullptr, bench.At(dst, int(tx), int(ty)));
            }
        }
    }

    static PixelYC BlendRef(const PixelYC& s, const PixelYC& d, int64_t a) {
        auto c = [a](int64_t sv, int64_t dv) { return Store(Sar12(sv * a + dv * (4096 - a))); };
        return {c(s.y, d.y), c(s.cb, d.cb), c(s.cr, d.cr)};
    }

    void Apply(const std::string& name, const std::vector<double>& args) {
        std::vector<double> v(args);
        v.resize(20, 0.0);
        auto I = [&](int n) { return TruncateToInt32(v[n - 1]); };
        auto F = [&](int n) { return FractionToInt32(v[n - 1]); };
        if (name == "copyframe") {
            int32_t w = I(5), h = I(6);
            if (!BufferOk(I(1)) || !Size(w, h)) return;
            const int32_t frame = FrameNumberToInt32(v[1]);
            if (frame < 0 || frame > 5) return;
            Rect(bench.frame_image.data(), -1, I(1), I(3), I(4), w, h, I(7), I(8), 0, -1, 0, 0,
                 [](const PixelYC& s, const PixelYC*, PixelYC& d) { d = s; });
        } else if (name == "copy" || name == "copy2" || name == "flipv" || name == "fliph") {
            int32_t w = I(5), h = I(6);
            if (!BufferOk(I(1)) || !BufferOk(I(2)) || !Size(w, h)) return;
            const int32_t threshold = name == "copy2" ? I(9) : INT32_MIN;
            const bool gated = name == "copy2";
            Rect(nullptr, I(1), I(2), I(3), I(4), w, h, I(7), I(8),
                 name == "flipv"   ? 1
                 : name == "fliph" ? 2
                                   : 0,
                 -1, 0, 0, [&](const PixelYC& s, const PixelYC*, PixelYC& d) {
                     if (!gated || s.y > threshold) d = s;
                 });
        } else if (name == "copy3") {
            int32_t w = I(6), h = I(7);
            if (!BufferOk(I(1)) || !BufferOk(I(2)) || !BufferOk(I(3)) || !Size(w, h)) return;
            const int32_t threshold = I(12);
            Rect(nullptr, I(1), I(2), I(4), I(5), w, h, I(8), I(9), 0, I(3), I(10), I(11),
                 [&](const PixelYC& s, const PixelYC* k, PixelYC& d) {
                     if (k->y > threshold) d = s;
                 });
        } else if (name == "mkmask" || name == "mkmask_rgb") {
            int32_t w = I(5), h = I(6);
            if (!BufferOk(I(1)) || !BufferOk(I(2)) || !Size(w, h)) return;
            const bool rgb = name == "mkmask_rgb";
            Rect(nullptr, I(1), I(2), I(3), I(4), w, h, I(7), I(8), 0, -1, 0, 0,
                 [&](const PixelYC& s, const PixelYC*, PixelYC& d) {
                     int64_t c[3] = {s.y, s.cb, s.cr};
                     if (rgb) {
                         c[0] = TruncateToInt32(s.y + 1.402 * s.cr);
                         c[1] = TruncateToInt32(s.y - 0.344 * s.cb - 0.714 * s.cr);
                         c[2] = TruncateToInt32(s.y + 1.772 * s.cb);
                     }
                     bool inside = true;
                     for (int k = 0; k < 3; ++k)
                         inside = inside && I(9 + k) <= c[k] && c[k] <= I(12 + k);
                     d = {Store(inside ? I(15) : I(16)), 0, 0};
                 });
        } else if (name == "alpha" || name == "alpha2") {
            int32_t w = I(5), h = I(6);
            if (!BufferOk(I(1)) || !BufferOk(I(2)) || !Size(w, h)) return;
            const int32_t a = F(9), threshold = I(10);
            const bool gated = name == "alpha2";
            Rect(nullptr, I(1), I(2), I(3), I(4), w, h, I(7), I(8), 0, -1, 0, 0,
                 [&](const PixelYC& s, const PixelYC*, PixelYC& d) {
                     if (!gated || s.y > threshold) d = BlendRef(s, d, a);
                 });
        } else if (name == "alpha3" || name == "alpha4") {
            int32_t w = I(6), h = I(7);
            if (!BufferOk(I(1)) || !BufferOk(I(2)) || !BufferOk(I(3)) || !Size(w, h)) return;
            const bool mask = name == "alpha4";
            const int32_t a = F(12), threshold = I(13);
            Rect(nullptr, I(1), I(2), I(4), I(5), w, h, I(8), I(9), 0, I(3), I(10), I(11),
                 [&](const PixelYC& s, const PixelYC* k, PixelYC& d) {
                     if (mask) {
                         d = BlendRef(s, d, k->y);
                     } else if (k->y > threshold) {
                         d = BlendRef(s, d, a);
                     }
                 });
        } else if (name == "color" || name == "color_rgb") {
            int32_t w = I(4), h = I(5);
            if (!BufferOk(I(1)) || !Size(w, h)) return;
            const int64_t x0 = std::clamp<int64_t>(I(2), 0, bench.W),
                          x1 = std::clamp<int64_t>(int64_t{I(2)} + w, 0, bench.W);
            const int64_t y0 = std::clamp<int64_t>(I(3), 0, bench.H),
                          y1 = std::clamp<int64_t>(int64_t{I(3)} + h, 0, bench.H);
            const int64_t g[3] = {F(6), F(7), F(8)}, o[3] = {F(9), F(10), F(11)};
            for (int64_t y = y0; y < y1; ++y) {
                for (int64_t x = x0; x < x1; ++x) {
                    PixelYC& p = bench.At(I(1), int(x), int(y));
                    if (name == "color") {
                        p = {Store(Sar12(p.y * g[0] + o[0])), Store(Sar12(p.cb * g[1] + o[1])),
                             Store(Sar12(p.cr * g[2] + o[2]))};
                        continue;
                    }
                    const int64_t r = TruncateToInt32(p.y + 1.402 * p.cr);
                    const int64_t gg = TruncateToInt32(p.y - 0.344 * p.cb - 0.714 * p.cr);
                    const int64_t b = TruncateToInt32(p.y + 1.772 * p.cb);
                    const double r2 = Wrap32(r * g[0] + o[0]), g2 = Wrap32(gg * g[1] + o[1]),
                                 b2 = Wrap32(b * g[2] + o[2]);
                    p = {Store(TruncateToInt32((0.587 * g2 + 0.299 * r2 + 0.114 * b2) *
                                               0.000244140625)),
                         Store(TruncateToInt32((0.5 * b2 - (0.331 * g2 + 0.169 * r2)) *
                                               0.000244140625)),
                         Store(TruncateToInt32((0.5 * r2 - 0.419 * g2 - 0.081 * b2) *
                                               0.000244140625))};
                }
            }
        } else {
            ADD_FAILURE() << "no reference for " << name;
        }
    }
};

// ---------------------------------------------------------------------------------------------
// Numeric cases: a line in, pixels out.

struct Expect {
    int buffer, x, y;
    PixelYC pixel;
};

struct NumericCase {
    const char* what;
    std::function<void(Bench&)> setup;
    std::string command;
    std::vector<double> args;
    std::vector<Expect> expect;
};

void Fill(Bench& b, int buffer, PixelYC p) {
    std::fill(b.Image(buffer), b.Image(buffer) + b.Area(), p);
}

// Column x of buffer 2 holds (100 + x, x, -x), row y adds 1000 * y to the luma.
void Gradient(Bench& b) {
    for (int y = 0; y < b.H; ++y) {
        for (int x = 0; x < b.W; ++x)
            b.At(2, x, y) = {int16_t(100 + x + 1000 * y), int16_t(x), int16_t(-x)};
    }
}

PixelYC G(int x, int y) { return {int16_t(100 + x + 1000 * y), int16_t(x), int16_t(-x)}; }

void PrintTo(const NumericCase& c, std::ostream* os) { *os << c.command << ": " << c.what; }

class NumericCases : public ::testing::TestWithParam<NumericCase> {};

TEST_P(NumericCases, ProduceTheStatedPixels) {
    const NumericCase& c = GetParam();
    Bench bench(24, 12);
    if (c.setup) c.setup(bench);
    Bench reference_bench(bench);
    bench.Run(c.command, c.args, 2);
    for (const Expect& e : c.expect) {
        const PixelYC got = bench.At(e.buffer, e.x, e.y);
        EXPECT_TRUE(got == e.pixel)
            << "buffer " << e.buffer << " at " << e.x << "," << e.y << ": got (" << got.y << ","
            << got.cb << "," << got.cr << ") want (" << e.pixel.y << "," << e.pixel.cb << ","
            << e.pixel.cr << ")";
    }
    // The reference agrees everywhere, not just at the stated pixels.
    Reference(reference_bench).Apply(c.command, c.args);
    EXPECT_TRUE(bench.SameBuffers(reference_bench));
}

const PixelYC kZero{0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Copy, NumericCases,
    ::testing::Values(
        NumericCase{"sizes limited to the image", Gradient, "copy", {2, 3, 0, 0, 100000, 100000, 0, 0},
                    {{3, 0, 0, G(0, 0)}, {3, 23, 11, G(23, 11)}}},
        NumericCase{"cut rectangle keeps offsets", Gradient, "copy", {2, 3, -10, 0, 20, 5, 0, 0},
                    {{3, 10, 0, G(0, 0)}, {3, 19, 4, G(9, 4)}, {3, 9, 0, kZero}, {3, 10, 5, kZero}}},
        NumericCase{"destination cut on the left", Gradient, "copy", {2, 3, 0, 0, 4, 1, -2, 0},
                    {{3, 0, 0, G(2, 0)}, {3, 1, 0, G(3, 0)}, {3, 2, 0, kZero}}},
        NumericCase{"same buffer overlapping reads the old pixels", Gradient, "copy", {2, 2, 0, 0, 6, 6, 1, 1},
                    {{2, 1, 1, G(0, 0)}, {2, 6, 6, G(5, 5)}, {2, 3, 3, G(2, 2)}, {2, 0, 0, G(0, 0)}}},
        NumericCase{"same buffer, same column, a row down reads the old rows", Gradient, "copy2",
                    {2, 2, 0, 0, 24, 6, 0, 1, -1},
                    {{2, 0, 1, G(0, 0)}, {2, 23, 3, G(23, 2)}, {2, 10, 6, G(10, 5)}, {2, 5, 0, G(5, 0)}}},
        NumericCase{"same buffer, disjoint", Gradient, "copy", {2, 2, 0, 0, 3, 3, 10, 0},
                    {{2, 10, 0, G(0, 0)}, {2, 12, 2, G(2, 2)}}},
        NumericCase{"buffer 10 is nothing", Gradient, "copy", {2, 10, 0, 0, 5, 5, 0, 0}, {}},
        NumericCase{"buffer 9.9 is 9", Gradient, "copy", {2, 9.9, 0, 0, 5, 5, 0, 0}, {{9, 4, 4, G(4, 4)}}},
        NumericCase{"width 0.9 is nothing", Gradient, "copy", {2, 3, 0, 0, 0.9, 5, 0, 0}, {{3, 0, 0, kZero}}},
        NumericCase{"threshold 4096 copies no nominal luma",
                    [](Bench& b) { Fill(b, 2, {4096, 5, 5}); }, "copy2", {2, 3, 0, 0, 24, 12, 0, 0, 4096},
                    {{3, 0, 0, kZero}}},
        NumericCase{"threshold -1 copies luma 0",
                    [](Bench& b) { Fill(b, 2, {0, 5, 5}); }, "copy2", {2, 3, 0, 0, 16, 12, 0, 0, -1},
                    {{3, 7, 7, {0, 5, 5}}}},
        NumericCase{"luma is signed",
                    [](Bench& b) { Fill(b, 2, {-5, 5, 5}); b.At(2, 1, 0) = {-32768, 1, 1}; }, "copy2",
                    {2, 3, 0, 0, 2, 1, 0, 0, -6}, {{3, 0, 0, {-5, 5, 5}}, {3, 1, 0, kZero}}},
        NumericCase{"key past the right edge leaves those uncopied",
                    [](Bench& b) { Gradient(b); Fill(b, 4, {100, 0, 0}); }, "copy3",
                    {2, 3, 4, 0, 0, 6, 1, 0, 0, 20, 0, 50},
                    {{3, 3, 0, G(3, 0)}, {3, 4, 0, kZero}, {3, 5, 0, kZero}}},
        NumericCase{"key compared, never copied; strict",
                    [](Bench& b) { Gradient(b); b.At(4, 1, 1) = {50, 9, 9}; b.At(4, 2, 1) = {51, 9, 9}; },
                    "copy3", {2, 3, 4, 0, 0, 3, 1, 5, 5, 0, 1, 50},
                    {{3, 5, 5, kZero}, {3, 6, 5, kZero}, {3, 7, 5, G(2, 0)}}}));

INSTANTIATE_TEST_SUITE_P(
    Blend, NumericCases,
    ::testing::Values(
        NumericCase{"box over the nominal space",
                    [](Bench& b) { Fill(b, 2, {4096, -2048, 2048}); b.At(2, 0, 0) = {0, 0, 0}; }, "mkmask",
                    {2, 3, 0, 0, 16, 12, 0, 0, 0, -2048, -2048, 4096, 2048, 2048, 4096, 0},
                    {{3, 0, 0, {4096, 0, 0}}, {3, 15, 11, {4096, 0, 0}}}},
        NumericCase{"lowest above highest: outside everywhere",
                    [](Bench& b) { Fill(b, 2, {10, 70, 0}); Fill(b, 3, {1, 2, 3}); }, "mkmask",
                    {2, 3, 0, 0, 16, 12, 0, 0, 0, 100, -10, 4096, 50, 10, 4096, 77},
                    {{3, 0, 0, {77, 0, 0}}, {3, 9, 9, {77, 0, 0}}}},
        NumericCase{"mask values stored as low 16 bits",
                    [](Bench& b) { b.At(2, 1, 0) = {5000, 0, 0}; }, "mkmask",
                    {2, 3, 0, 0, 2, 1, 0, 0, 0, 0, 0, 4096, 0, 0, 4096 + 65536, -1},
                    {{3, 0, 0, {4096, 0, 0}}, {3, 1, 0, {-1, 0, 0}}}},
        NumericCase{"rgb box at (1347, 2061, 3820) exactly",
                    [](Bench& b) { b.At(2, 0, 0) = {2048, 1000, -500}; b.At(2, 1, 0) = {2048, 1000, -499}; },
                    "mkmask_rgb", {2, 3, 0, 0, 2, 1, 0, 0, 1347, 2061, 3820, 1347, 2061, 3820, 1, 2},
                    {{3, 0, 0, {1, 0, 0}}, {3, 1, 0, {2, 0, 0}}}},
        NumericCase{"half opacity",
                    [](Bench& b) { b.At(2, 0, 0) = {4096, -100, 100}; b.At(2, 1, 0) = {4096, -1, 1}; }, "alpha",
                    {2, 3, 0, 0, 2, 1, 0, 0, 0.5}, {{3, 0, 0, {2048, -50, 50}}, {3, 1, 0, {2048, -1, 0}}}},
        // (4095, -1, 1) x 2048 / 4096 over zero: 2047.5, -0.5 and 0.5, each rounded down.
        NumericCase{"half opacity rounds down across whole vectors",
                    [](Bench& b) { Fill(b, 2, {4095, -1, 1}); }, "alpha", {2, 3, 0, 0, 24, 1, 0, 0, 0.5},
                    {{3, 0, 0, {2047, -1, 0}}, {3, 8, 0, {2047, -1, 0}}, {3, 23, 0, {2047, -1, 0}}}},
        NumericCase{"alpha2 at half opacity rounds down across whole vectors",
                    [](Bench& b) { Fill(b, 2, {4095, -1, 1}); }, "alpha2", {2, 3, 0, 0, 24, 1, 0, 0, 0.5, -1},
                    {{3, 0, 0, {2047, -1, 0}}, {3, 8, 0, {2047, -1, 0}}, {3, 23, 0, {2047, -1, 0}}}},
        NumericCase{"opacity 2 extrapolates",
                    [](Bench& b) { b.At(2, 0, 0) = {3000, 0, 0}; b.At(3, 0, 0) = {1000, 0, 0}; }, "alpha",
                    {2, 3, 0, 0, 1, 1, 0, 0, 2.0}, {{3, 0, 0, {5000, 0, 0}}}},
        NumericCase{"opacity 1 copies, opacity 0 keeps",
                    [](Bench& b) { Gradient(b); Fill(b, 3, {9, 9, 9}); }, "alpha",
                    {2, 3, 0, 0, 2, 2, 0, 0, 1.0}, {{3, 1, 1, G(1, 1)}, {3, 2, 1, {9, 9, 9}}}},
        NumericCase{"opacity 1e300 wraps without harm",
                    [](Bench& b) { Gradient(b); Fill(b, 3, {9, 9, 9}); }, "alpha",
                    {2, 3, 0, 0, 2, 2, 0, 0, 1e300}, {{3, 0, 0, {Store(Sar12(100LL * INT32_MIN + 9LL * (4096LL - INT32_MIN))), Store(Sar12(9LL * (4096LL - INT32_MIN))), Store(Sar12(9LL * (4096LL - INT32_MIN)))}}}},
        NumericCase{"alpha2 threshold 4096 changes nothing",
                    [](Bench& b) { Fill(b, 2, {4096, 1, 1}); }, "alpha2", {2, 3, 0, 0, 16, 12, 0, 0, 1.0, 4096},
                    {{3, 5, 5, kZero}}},
        NumericCase{"alpha3 gated by the key",
                    [](Bench& b) { Gradient(b); b.At(4, 1, 0) = {10, 0, 0}; }, "alpha3",
                    {2, 3, 4, 0, 0, 2, 1, 0, 0, 0, 0, 1.0, 5}, {{3, 0, 0, kZero}, {3, 1, 0, G(1, 0)}}},
        NumericCase{"alpha4 opacity from the mask's signed luma",
                    [](Bench& b) {
                        Fill(b, 2, {4096, 0, 0});
                        b.At(4, 0, 0) = {4096, 0, 0};
                        b.At(4, 1, 0) = {2048, 0, 0};
                        b.At(4, 2, 0) = {-4096, 0, 0};
                        Fill(b, 3, {1000, 0, 0});
                    },
                    "alpha4", {2, 3, 4, 0, 0, 3, 1, 0, 0, 0, 0},
                    {{3, 0, 0, {4096, 0, 0}}, {3, 1, 0, {2548, 0, 0}}, {3, 2, 0, {-2096, 0, 0}}}}));

INSTANTIATE_TEST_SUITE_P(FlipColour, NumericCases,
                         ::
                             testing::Values(NumericCase{"flipv: first row last",
                                                         Gradient,
                                                         "flipv",
                                                         {2, 3, 0, 0, 4, 4, 10, 8},
                                                         {{3, 10, 11, G(0, 0)},
                                                          {3, 13, 8, G(3, 3)},
                                                          {3, 11, 10, G(1, 1)}}},
                                             NumericCase{
                                                 "fliph: first column last",
                                                 Gradient,
                                                 "fliph",
                                                 {2, 3, 0, 0, 4, 1, 10, 0},
                                                 {{3, 13, 0, G(0, 0)}, {3, 10, 0, G(3, 0)}}},
                                             NumericCase{"fliph cut on the left",
                                                         Gradient,
                                                         "fliph",
                                                         {2, 3, 0, 0, 4, 1, -2, 0},
                                                         {{3, 1, 0, G(0, 0)},
                                                          {3, 0, 0, G(1, 0)},
                                                          {3, 2, 0, kZero}}},
                                             NumericCase{"fliph onto itself mirrors the old row",
                                                         Gradient,
                                                         "fliph",
                                                         {2, 2, 0, 0, 16, 1, 0, 0},
                                                         {{2, 0, 0, G(15, 0)},
                                                          {2, 15, 0, G(0, 0)},
                                                          {2, 7, 0, G(8, 0)}}},
                                             NumericCase{"flipv onto itself mirrors the old rows",
                                                         Gradient,
                                                         "flipv",
                                                         {2, 2, 0, 0, 16, 12, 0, 0},
                                                         {{2, 0, 0, G(0, 11)},
                                                          {2, 3, 11, G(3, 0)},
                                                          {2, 5, 6, G(5, 5)}}},
                                             NumericCase{"color unit gains change nothing",
                                                         [](Bench& b) {
                                                             b.At(2, 0, 0) = {4096, -1, 1};
                                                         },
                                                         "color",
                                                         {2, 0, 0, 16, 12, 1, 1, 1, 0, 0, 0},
                                                         {{2, 0, 0, {4096, -1, 1}}}},
                                             NumericCase{"color halves round toward minus infinity",
                                                         [](Bench& b) {
                                                             b.At(2, 0, 0) = {4096, -1, 1};
                                                         },
                                                         "color",
                                                         {2, 0, 0, 1, 1, 0.5, 0.5, 0.5, 0, 0, 0},
                                                         {{2, 0, 0, {2048, -1, 0}}}},
                                             NumericCase{"color offset 100 unclamped",
                                                         [](Bench& b) {
                                                             b.At(2, 0, 0) = {4096, 0, 0};
                                                         },
                                                         "color",
                                                         {2, 0, 0, 1, 1, 1, 1, 1, 100, 0, 0},
                                                         {{2, 0, 0, {4196, 0, 0}}}},
                                             NumericCase{"color region clipped on the left",
                                                         [](Bench& b) {
                                                             Fill(b, 2, {10, 0, 0});
                                                         },
                                                         "color",
                                                         {2, -10, 0, 20, 1, 2, 1, 1, 0, 0, 0},
                                                         {{2, 0, 0, {20, 0, 0}},
                                                          {2, 9, 0, {20, 0, 0}},
                                                          {2, 10, 0, {10, 0, 0}},
                                                          {2, 0, 1, {10, 0, 0}}}},
                                             NumericCase{"color_rgb identity is not exact",
                                                         [](Bench& b) {
                                                             b.At(2, 0, 0) = {4096, 0, 0};
                                                             b.At(2, 1, 0) = {2048, 1000, -500};
                                                         },
                                                         "color_rgb",
                                                         {2, 0, 0, 2, 1, 1, 1, 1, 0, 0, 0},
                                                         {{2, 0, 0, {4095, 0, 0}},
                                                          {2, 1, 0, {2048, 1000, -499}}}},
                                             NumericCase{"color_rgb gain on red only",
                                                         [](Bench& b) {
                                                             b.At(2, 0, 0) = {1000, 0, 0};
                                                         },
                                                         "color_rgb",
                                                         {2, 0, 0, 1, 1, 2, 1, 1, 0, 0, 0},
                                                         {{2, 0, 0, {1299, -169, 500}}}}));

// ---------------------------------------------------------------------------------------------
// copyframe: the host's services in order, the frame number rounded down, null meaning nothing.

TEST(CopyFrame, AsksTheHostAndCopiesWhatItReturns) {
    struct Case {
        double frame;
        int32_t asked;
        bool copied;
    };
    const Case cases[] = {
        {3.7, 3, true}, {-0.5, -1, false}, {5.0, 5, true}, {6, 6, false}, {kNaN, INT32_MIN, false}};
    for (const Case& c : cases) {
        Bench bench(16, 12);
        bench.Randomize(3);
        Bench before(bench);
        bench.Run("copyframe", {2, c.frame, 1, 1, 3, 3, 0, 0}, 2);
        const std::vector<int32_t> want = {-100, 16, 12, 5, 0, c.asked};
        EXPECT_EQ(bench.fetched, want) << c.frame;
        EXPECT_EQ(bench.At(2, 0, 0) == bench.frame_image[1 * 16 + 1], c.copied) << c.frame;
        EXPECT_EQ(bench.At(2, 2, 2) == bench.frame_image[3 * 16 + 3], c.copied) << c.frame;
        if (!c.copied) {
            EXPECT_TRUE(bench.SameBuffers(before));
        }
    }
}

TEST(CopyFrame, InvalidArgumentsAskTheHostNothing) {
    const std::vector<double> lines[] = {
        {10, 1, 0, 0, 4, 4, 0, 0}, {2, 1, 0, 0, 0, 4, 0, 0}, {2, 1, 0, 0, 4, -1, 0, 0}};
    for (const auto& args : lines) {
        Bench bench(16, 12);
        bench.Run("copyframe", args, 2);
        EXPECT_TRUE(bench.fetched.empty());
    }
}

// A host may hand back the very image being written (its own edit image, say): the rectangle
// is still read as it was before the copy.
TEST(CopyFrame, AnImageThatIsTheDestinationIsReadFirst) {
    for (int threads : {1, 16}) {
        Bench bench(16, 12);
        bench.Randomize(5);
        Bench before(bench);
        bench.served = bench.Image(2);
        bench.Run("copyframe", {2, 0, 0, 0, 10, 8, 3, 2}, threads);
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < 16; ++x) {
                const bool copied = x >= 3 && x < 13 && y >= 2 && y < 10;
                const PixelYC want = copied ? before.At(2, x - 3, y - 2) : before.At(2, x, y);
                ASSERT_TRUE(bench.At(2, x, y) == want) << x << "," << y << " with " << threads;
            }
        }
    }
}

TEST(CopyFrame, AbsentServicesMeanNothing) {
    Bench bench(16, 12);
    bench.Randomize(4);
    Bench before(bench);
    bench.filter.services = nullptr;
    bench.Run("copyframe", {2, 1, 0, 0, 4, 4, 0, 0}, 2);
    bench.filter.services = &bench.services;
    bench.services.fetch_frame_image = nullptr;
    bench.Run("copyframe", {2, 1, 0, 0, 4, 4, 0, 0}, 2);
    EXPECT_TRUE(bench.SameBuffers(before));
}

// ---------------------------------------------------------------------------------------------
// Random lines: 1 thread and 16 threads give the same buffers, and both equal the reference.

enum Kind {
    kBuf,
    kX,
    kY,
    kW,
    kH,
    kFrame,
    kOpacity,
    kThreshold,
    kLevel,
    kMaskValue,
    kGain,
    kOffset
};

struct Shape {
    const char* name;
    std::vector<Kind> args;
};

const Shape kShapes[] = {
    {"copyframe", {kBuf, kFrame, kX, kY, kW, kH, kX, kY}},
    {"copy", {kBuf, kBuf, kX, kY, kW, kH, kX, kY}},
    {"copy2", {kBuf, kBuf, kX, kY, kW, kH, kX, kY, kThreshold}},
    {"copy3", {kBuf, kBuf, kBuf, kX, kY, kW, kH, kX, kY, kX, kY, kThreshold}},
    {"mkmask",
     {kBuf, kBuf, kX, kY, kW, kH, kX, kY, kLevel, kLevel, kLevel, kLevel, kLevel, kLevel,
      kMaskValue, kMaskValue}},
    {"mkmask_rgb",
     {kBuf, kBuf, kX, kY, kW, kH, kX, kY, kLevel, kLevel, kLevel, kLevel, kLevel, kLevel,
      kMaskValue, kMaskValue}},
    {"alpha", {kBuf, kBuf, kX, kY, kW, kH, kX, kY, kOpacity}},
    {"alpha2", {kBuf, kBuf, kX, kY, kW, kH, kX, kY, kOpacity, kThreshold}},
    {"alpha3", {kBuf, kBuf, kBuf, kX, kY, kW, kH, kX, kY, kX, kY, kOpacity, kThreshold}},
    {"alpha4", {kBuf, kBuf, kBuf, kX, kY, kW, kH, kX, kY, kX, kY}},
    {"flipv", {kBuf, kBuf, kX, kY, kW, kH, kX, kY}},
    {"fliph", {kBuf, kBuf, kX, kY, kW, kH, kX, kY}},
    {"color", {kBuf, kX, kY, kW, kH, kGain, kGain, kGain, kOffset, kOffset, kOffset}},
    {"color_rgb", {kBuf, kX, kY, kW, kH, kGain, kGain, kGain, kOffset, kOffset, kOffset}},
};

void PrintTo(const Shape& s, std::ostream* os) { *os << s.name; }

class RandomLines : public ::testing::TestWithParam<Shape> {};

TEST_P(RandomLines, ThreadCountChangesNothingAndTheReferenceAgrees) {
    const Shape& shape = GetParam();
    std::mt19937 random(static_cast<uint32_t>(std::hash<std::string>()(shape.name)));
    const int32_t W = 23, H = 17;
    auto pick = [&](std::initializer_list<double> values) {
        return *(values.begin() + random() % values.size());
    };
    auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(random);
    };
    const double extremes[] = {kNaN,          1e300,        -1e300,       2147483647.0,
                               -2147483648.0, 2147483648.0, -2147483649.0};
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<double> args;
        // Mostly the same few buffers, so sources, keys and destinations often coincide.
        for (Kind kind : shape.args) {
            double v = 0;
            switch (kind) {
                case kBuf:
                    v = random() % 20 == 0 ? pick({-1, 10, 9.9, -0.5}) : pick({2, 3, 3, 3, 4});
                    break;
                case kX:
                    v = std::floor(uniform(-W, 2 * W));
                    break;
                case kY:
                    v = std::floor(uniform(-H, 2 * H));
                    break;
                case kW:
                    v = random() % 10 == 0 ? pick({0, 0.9, -3, 100000}) : uniform(1, W + 3);
                    break;
                case kH:
                    v = random() % 10 == 0 ? pick({0, 0.9, -3, 100000}) : uniform(1, H + 3);
                    break;
                case kFrame:
                    v = uniform(-1.5, 6.5);
                    break;
                case kOpacity:
                    v = random() % 8 == 0 ? uniform(-200, 200) : uniform(-0.5, 1.5);
                    break;
                case kThreshold:
                    v = uniform(-100, 4200);
                    break;
                case kLevel:
                    v = uniform(-2500, 4500);
                    break;
                case kMaskValue:
                    v = uniform(-70000, 70000);
                    break;
                case kGain:
                    v = random() % 8 == 0 ? uniform(-600, 600) : uniform(-2, 2);
                    break;
                case kOffset:
                    v = random() % 8 == 0 ? uniform(-600000, 600000) : uniform(-3000, 3000);
                    break;
            }
            if (random() % 25 == 0) v = extremes[random() % std::size(extremes)];
            args.push_back(v);
        }
        Bench one(W, H);
        one.Randomize(trial);
        Bench many(one), reference(one);
        one.Run(shape.name, args, 1);
        many.Run(shape.name, args, 16);
        Reference(reference).Apply(shape.name, args);
        std::string line = shape.name;
        for (double a : args) line += " " + std::to_string(a);
        ASSERT_TRUE(one.SameBuffers(many)) << line;
        ASSERT_TRUE(one.SameBuffers(reference)) << line;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, RandomLines, ::testing::ValuesIn(kShapes),
                         [](const ::testing::TestParamInfo<Shape>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// Through the script: the example of a typical frame, a previous frame blended at half opacity.

TEST(CompositingScript, PreviousFrameBlendedOverTheEdit) {
    testing::PluginHarness harness(GetFilterTable);
    harness.host->tracks[0] = 2;
    harness.host->UpdateSettings();
    std::vector<int32_t> asked;
    editor::Image previous(8, 6, {4000, 1000, -1000});
    harness.host->frame_image = [&](int32_t frame) {
        asked.push_back(frame);
        return previous.pixels.data();
    };
    harness.SetScript(
        "[0-99]\ncopyframe(2,f-1,0,0,i,j,0,0)\nalpha(2,0,0,0,i,j,0,0,0.5)\n"
        "# a key: bright parts of the previous frame over the picture's right half\n"
        "copy2(2,0,w/2,0,w/2,h,w/2,0,4000)\n");
    editor::VideoFrame frame(8, 6, 40, 100);
    for (PixelYC& p : frame.edit.pixels) p = {1000, -1, 3};
    ASSERT_EQ(harness.Process(frame.Prepare()), 1);
    EXPECT_EQ(asked, std::vector<int32_t>{39});
    EXPECT_TRUE(frame.edit.at(0, 0) == (PixelYC{2500, 499, -499}));
    EXPECT_TRUE(frame.edit.at(3, 5) == (PixelYC{2500, 499, -499}));
    // copy2 with threshold 4000 leaves the right half blended (4000 is not above 4000).
    EXPECT_TRUE(frame.edit.at(7, 0) == (PixelYC{2500, 499, -499}));
}

}  // namespace
}  // namespace kinetra::video
