// ellipse: a filled, axis-aligned ellipse, traced by an integer walk along its outline.
#include <algorithm>

#include "video/effects.h"
#include "video/arguments.h"
#include "video/color_space.h"
#include "video/pixels.h"
#include "video/rectangles.h"

namespace kinetra::video {
namespace {

// A signed 128-bit integer, with what the walk needs. The walk's terms reach about 4ab^2,
// beyond 64 bits for radii near the 32-bit limit; 128 bits hold them for any radii.
class Wide {
public:
    constexpr Wide() = default;

    // a * b, exactly.
    static Wide Product(int64_t a, int64_t b) {
        const bool negative = (a < 0) != (b < 0);
        const uint64_t x = a < 0 ? 0 - static_cast<uint64_t>(a) : static_cast<uint64_t>(a);
        const uint64_t y = b < 0 ? 0 - static_cast<uint64_t>(b) : static_cast<uint64_t>(b);
        const uint64_t x0 = x & 0xFFFFFFFFu, x1 = x >> 32, y0 = y & 0xFFFFFFFFu, y1 = y >> 32;
        const uint64_t low = x0 * y0, mid_a = x1 * y0, mid_b = x0 * y1, high = x1 * y1;
        const uint64_t middle = (low >> 32) + (mid_a & 0xFFFFFFFFu) + (mid_b & 0xFFFFFFFFu);
        Wide result;
        result.lo_ = (middle << 32) | (low & 0xFFFFFFFFu);
        result.hi_ = high + (mid_a >> 32) + (mid_b >> 32) + (middle >> 32);
        return negative ? Wide{} - result : result;
    }

    Wide operator+(const Wide& other) const {
        Wide sum;
        sum.lo_ = lo_ + other.lo_;
        sum.hi_ = hi_ + other.hi_ + (sum.lo_ < lo_ ? 1 : 0);
        return sum;
    }
    Wide operator-(const Wide& other) const {
        Wide difference;
        difference.lo_ = lo_ - other.lo_;
        difference.hi_ = hi_ - other.hi_ - (lo_ < other.lo_ ? 1 : 0);
        return difference;
    }
    Wide& operator+=(const Wide& other) { return *this = *this + other; }
    Wide& operator-=(const Wide& other) { return *this = *this - other; }
    bool negative() const { return (hi_ >> 63) != 0; }

private:
    uint64_t lo_ = 0, hi_ = 0;  // two's complement across both words
};

// The walk's decision terms as functions of the position (x, k) it has reached:
// E(x, k) = 2a^2(k + 1)^2 + b^2(2x^2 - 2x + 1) - 2a^2b^2, the sign of the ellipse's equation at
// (x - 1/2, k + 1), and F(x, k) = a^2(2k^2 + 2k + 1) + 2b^2(x - 1)^2 - 2a^2b^2, its sign at
// (x - 1, k + 1/2). Both grow with k, and with x from x = 1 on.
class Outline {
public:
    Outline(int64_t a, int64_t b) : a_(a), b_(b), ab2_(Twice(Wide::Product(a * b, a * b))) {}

    Wide E(int64_t x, int64_t k) const {
        const int64_t ak = a_ * (k + 1), bx = b_ * x;
        return Twice(Wide::Product(ak, ak)) + Twice(Wide::Product(bx, bx)) -
               Twice(Wide::Product(b_ * b_, x)) + Wide::Product(b_, b_) - ab2_;
    }
    Wide F(int64_t x, int64_t k) const {
        const int64_t ak = a_ * k, bx = b_ * (x - 1);
        return Twice(Wide::Product(ak, ak)) + Twice(Wide::Product(ak, a_)) + Wide::Product(a_, a_) +
               Twice(Wide::Product(bx, bx)) - ab2_;
    }

    // The half-width on arrival at row k + 1, from `x` on arrival at row k; -1 when the walk
    // ends on row k. On row k the walk steps inwards while both terms are >= 0, so it leaves
    // from the largest x <= `x` where one is negative; for x >= 1 those x are 1..g.
    int64_t NextRow(int64_t x, int64_t k) const {
        int64_t leave;
        if (x >= 1) {
            const int64_t g = std::max(LastNegative(k, &Outline::E), LastNegative(k, &Outline::F));
            if (g == 0) return -1;  // inwards past x = 0, where E and F equal their values at 1 and 2
            leave = std::min(x, g);
        } else {
            if (!E(0, k).negative() && !F(0, k).negative()) return -1;
            leave = 0;
        }
        return E(leave, k).negative() ? leave : leave - 1;  // a step down, or a diagonal one
    }

private:
    static Wide Twice(const Wide& w) { return w + w; }

    // The largest x in 1..a where term(x, k) < 0, or 0 when there is none.
    int64_t LastNegative(int64_t k, Wide (Outline::*term)(int64_t, int64_t) const) const {
        if (!(this->*term)(1, k).negative()) return 0;
        int64_t lo = 1, hi = a_;
        while (lo < hi) {
            const int64_t mid = lo + (hi - lo + 1) / 2;
            if ((this->*term)(mid, k).negative()) {
                lo = mid;
            } else {
                hi = mid - 1;
            }
        }
        return lo;
    }

    int64_t a_, b_;
    Wide ab2_;
};

struct SpanPainter {
    PixelYC* image;
    ImageSize size;
    PixelYC colour;

    // Columns x0..x1 of `row`, as far as they lie in the image.
    void operator()(int64_t x0, int64_t x1, int64_t row) const {
        if (x0 >= size.width || x1 < 0 || x0 > x1 || row < 0 || row >= size.height) return;
        x0 = std::max<int64_t>(x0, 0);
        x1 = std::min<int64_t>(x1, size.width - 1);
        PixelYC* line = image + PixelIndex(0, row, size.width);
        std::fill(line + x0, line + x1 + 1, colour);
    }
};

// The walk takes about a + b steps. Beyond this many, each row in sight is worked out from the
// decision terms instead, so that no radius can hold the frame up for seconds.
constexpr int64_t kLongestWalk = int64_t{1} << 22;
// Rows walked before the first row in sight, so that a start from the terms alone settles on
// the walk's own half-widths.
constexpr int64_t kSettlingRows = 256;

void Walk(int64_t cx, int64_t cy, int64_t a, int64_t b, const SpanPainter& paint) {
    const int64_t bb = b * b;
    const Wide four_aa = Wide::Product(4 * a, a), four_bb = Wide::Product(4, bb);
    Wide E = Wide::Product(2 * a, a) + Wide::Product(1 - 2 * a, bb);
    Wide F = Wide::Product(a, a) + Wide::Product(2 - 4 * a, bb);
    Wide P = Wide::Product(2 * a, a);
    Wide Q = Wide::Product(2 - 4 * a, bb);
    Wide R;
    Wide S = Wide::Product(4 * a, bb);
    int64_t x = a, k = 0, painted_k = -1;
    do {
        // x only shrinks, so a later span on a row already painted lies inside the first.
        if (k != painted_k) {
            paint(cx - x, cx + x, cy + k);
            paint(cx - x, cx + x, cy - k);
            painted_k = k;
        }
        if (E.negative()) {  // a step down
            ++k;
            P += four_aa;
            E += P;
            R += four_aa;
            F += R;
        } else {
            Q += four_bb;
            S -= four_bb;
            if (!F.negative()) {  // a step inwards
                --x;
                E -= S;
                F += Q;
            } else {  // a diagonal step
                --x;
                ++k;
                P += four_aa;
                R += four_aa;
                E += P - S;
                F += Q + R;
            }
        }
        // Rows only move away from the centre: once both are outside the image, so is the rest.
    } while (x >= 0 && (cy + k < paint.size.height || cy - k >= 0));
}

// Row by row over the rows in sight: the half-width on arrival at each row from the one before.
// The first rows start from the terms alone, as if the walk had arrived from far outside;
// this agrees with the walk except, rarely, by a pixel.
void RowsInSight(int64_t cx, int64_t cy, int64_t a, int64_t b, const SpanPainter& paint) {
    // Row offsets k with cy + k or cy - k inside the image, within 0..b.
    const int64_t height = paint.size.height;
    int64_t first = b + 1, last = -1;
    auto take = [&](int64_t lo, int64_t hi) {
        lo = std::max<int64_t>(lo, 0);
        hi = std::min(hi, b);
        if (lo > hi) return;
        first = std::min(first, lo);
        last = std::max(last, hi);
    };
    take(-cy, height - 1 - cy);
    take(cy - (height - 1), cy);
    if (first > last) return;
    const Outline outline(a, b);
    int64_t k = std::max<int64_t>(first - kSettlingRows, 0);
    int64_t x = k == 0 ? a : outline.NextRow(a, k - 1);
    for (; x >= 0 && k <= last; x = outline.NextRow(x, k), ++k) {
        if (k < first) continue;
        paint(cx - x, cx + x, cy + k);
        paint(cx - x, cx + x, cy - k);
    }
}

}  // namespace

// Runs on the calling thread: the walk is sequential and touches only the pixels it paints.
void Ellipse(const ImageArguments& args) {
    const int64_t cx = args[2], cy = args[3], a = args[4], b = args[5];
    // Everything painted lies within cx - a .. cx + a and cy - b .. cy + b.
    if (cx - a >= args.size.width || cx + a < 0 || cy - b >= args.size.height || cy + b < 0) return;
    const SpanPainter paint{args.Image(1), args.size, {Low16(args[6]), Low16(args[7]), Low16(args[8])}};
    if (a + b <= kLongestWalk) {
        Walk(cx, cy, a, b, paint);
    } else {
        RowsInSight(cx, cy, a, b, paint);
    }
}

}  // namespace kinetra::video
