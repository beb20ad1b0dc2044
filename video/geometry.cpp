// resize and rotate: every destination pixel samples a fixed-point source position between four
// neighbours. Positions are kept in 64 bits, so no argument can overflow them; wherever 32 bits
// would have sufficed the results are those of 32-bit arithmetic.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "video/effects.h"

#include "kernels/table.h"
#include "video/arguments.h"
#include "video/color_space.h"
#include "video/pixels.h"
#include "video/rectangles.h"

namespace kinetra::video {
namespace {

constexpr ArgumentSpec kResizeArguments[] = {
    Buffer(1, "source"), Buffer(2, "destination"), Pixels(3, "source x"), Pixels(4, "source y"),
    Width(5, "source w"), Height(6, "source h"), Pixels(7, "destination x"),
    Pixels(8, "destination y"), Width(9, "destination w"), Height(10, "destination h")};

// The size is checked, not clamped: the centre and the margins use the size as given. An
// angle that is not finite is no rotation to speak of.
constexpr ArgumentSpec kRotateArguments[] = {
    Buffer(1, "source"), Buffer(2, "destination"), Real(3, "angle").Finite().In(Unit::kRadians),
    Pixels(4, "source x"), Pixels(5, "source y"), Pixels(6, "w").AtLeast(1),
    Pixels(7, "h").AtLeast(1), Pixels(8, "destination x"), Pixels(9, "destination y")};

// The source rectangle as the sampler sees it.
class SourceWindow {
public:
    SourceWindow(const PixelYC* pixels, int32_t x0, int32_t y0, int32_t w, int32_t h, ImageSize size)
        : visible_(ClipRegion(x0, y0, w, h, size)),
          last_x_(int64_t{x0} + w - 1),
          last_y_(int64_t{y0} + h - 1),
          pixels_(pixels),
          size_(size) {}

    const Region& visible() const { return visible_; }
    int64_t last_x() const { return last_x_; }
    int64_t last_y() const { return last_y_; }
    const PixelYC* Row(int64_t sy) const { return pixels_ + PixelIndex(0, sy, size_.width); }
    void ReadFrom(const PixelYC* pixels) { pixels_ = pixels; }

    // Positions below both have all four neighbours inside the rectangle and the image.
    int64_t interior_x_end() const { return std::min<int64_t>(last_x_, size_.width - 1); }
    int64_t interior_y_end() const { return std::min<int64_t>(last_y_, size_.height - 1); }

    // Writes the sample at integer position (sx, sy), which lies in visible(), with fractions
    // fx, fy in 1/256. On the rectangle's last column or row the pixel stands alone; a
    // neighbour beyond the image's edge (the rectangle reaching past it) is the edge pixel.
    void Sample(PixelYC* out, int64_t sx, int64_t sy, int32_t fx, int32_t fy) const {
        const bool alone = sx == last_x_ || sy == last_y_;
        const size_t right = !alone && sx + 1 < size_.width ? 1 : 0;
        const size_t down = !alone && sy + 1 < size_.height ? static_cast<size_t>(size_.width) : 0;
        BilinearSampleAt(out, pixels_ + PixelIndex(sx, sy, size_.width), right, down, fx, fy);
    }

private:
    Region visible_;
    int64_t last_x_, last_y_;
    const PixelYC* pixels_;
    ImageSize size_;
};

// n * step / divisor for n = first, first + 1, ... below divisor, without forming the product:
// with step = q * divisor + r, the quotient moves on by q and the remainder by r per step.
class Progression {
public:
    Progression(int64_t step, int64_t divisor, int64_t first)
        : q_(step / divisor), r_(step % divisor), divisor_(divisor) {
        const int64_t carried = first * r_;  // below divisor^2, so it fits 64 bits
        value_ = first * q_ + carried / divisor;
        carry_ = carried % divisor;
    }
    int64_t value() const { return value_; }
    // Without a branch: whether the remainder carries varies from step to step.
    void Next() {
        carry_ += r_;
        const bool carries = carry_ >= divisor_;
        carry_ -= carries ? divisor_ : 0;
        value_ += q_ + carries;
    }

private:
    int64_t q_, r_, divisor_, value_, carry_;
};

// The steps k in [0, count) at which start + k * step lies in [lo, hi). The value moves one way,
// so they form one interval [first, end), empty when first >= end.
struct Steps {
    int64_t first, end;
};
int64_t CeilDivide(int64_t a, int64_t b) {  // b > 0
    return a / b + (a % b > 0 ? 1 : 0);
}
Steps StepsWithin(int64_t start, int64_t step, int64_t lo, int64_t hi, int64_t count) {
    if (step < 0) return StepsWithin(-start, -step, 1 - hi, 1 - lo, count);
    if (step == 0) return start >= lo && start < hi ? Steps{0, count} : Steps{0, 0};
    return {std::max<int64_t>(0, CeilDivide(lo - start, step)),
            std::min(count, CeilDivide(hi - start, step))};
}

// [lo, hi) limited to [0, limit).
Region Span(int64_t x0, int64_t x1, int64_t y0, int64_t y1, ImageSize size) {
    auto limit = [](int64_t v, int32_t l) { return static_cast<int32_t>(ClampToLimit<int64_t>(v, l)); };
    return {limit(x0, size.width), limit(x1, size.width), limit(y0, size.height),
            limit(y1, size.height)};
}

// resize interpolates in two passes over a row: a vertical one that mixes the two source rows
// over a span of columns, V = c_top * (255 - fy) + c_bottom * fy, then a horizontal one that
// mixes each destination pixel's two columns, (255 - fx) * V0 + fx * V1. That is
// BilinearSample's sum regrouped; nothing in it wraps (|sum| <= 32768 * 65025), so the result
// is the same. V fits 24 bits and is kept as two 16-bit halves, V >> 8 and V & 255, so that
// both passes are multiply-adds of 16-bit factors:
// (255 - fx) * V0 + fx * V1 = 256 * (the halves >> 8 mixed) + (the halves & 255 mixed).
constexpr int32_t kSpanColumns = 256;  // the most source columns one vertical pass covers

struct MixedSpan {
    // Per component of each column, in pixel order; room after the last for the horizontal
    // pass's reads of four elements at a time.
    int16_t high[3 * kSpanColumns + 8];
    int16_t low[3 * kSpanColumns + 8];
};

// One destination column of the run: its source column, the element step to the right
// neighbour (3, or 0 at the image's right edge), and the weights 255 - fx and fx as the low and
// high 16 bits.
struct ResizeColumn {
    int32_t x, right, weights;
};

int16_t Element(const PixelYC* pixels, int32_t i) {  // component i % 3 of pixel i / 3
    int16_t value;
    memcpy(&value, reinterpret_cast<const unsigned char*>(pixels) + 2 * size_t(i), sizeof value);
    return value;
}

void MixRows(MixedSpan& span, const PixelYC* top, const PixelYC* bottom, int32_t columns,
             int32_t fy) {
    const int32_t elements = 3 * columns;
    int32_t i = 0;
#if defined(KINETRA_VECTOR_KERNELS)
    const __m128i weights = _mm_set1_epi32((255 - fy) | fy << 16);
    const __m128i mask = _mm_set1_epi32(255);
    auto load = [](const PixelYC* pixels, int32_t i) {  // elements i .. i + 7
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(pixels) + 2 * size_t(i);
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    };
    for (; i + 8 <= elements; i += 8) {
        const __m128i t = load(top, i), b = load(bottom, i);
        const __m128i first = _mm_madd_epi16(_mm_unpacklo_epi16(t, b), weights);
        const __m128i second = _mm_madd_epi16(_mm_unpackhi_epi16(t, b), weights);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(span.high + i),
                         _mm_packs_epi32(_mm_srai_epi32(first, 8), _mm_srai_epi32(second, 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(span.low + i),
                         _mm_packs_epi32(_mm_and_si128(first, mask), _mm_and_si128(second, mask)));
    }
#endif
    for (; i < elements; ++i) {
        const int32_t mixed = Element(top, i) * (255 - fy) + Element(bottom, i) * fy;
        span.high[i] = static_cast<int16_t>(mixed >> 8);
        span.low[i] = static_cast<int16_t>(mixed & 255);
    }
    // The horizontal pass may read these; they only reach lanes it discards.
    std::fill_n(span.high + elements, 4, int16_t{0});
    std::fill_n(span.low + elements, 4, int16_t{0});
}

// The horizontal pass for `count` columns whose source columns lie in the span from x_first.
void MixColumns(PixelYC* out, const ResizeColumn* columns, int32_t count, const MixedSpan& span,
                int32_t x_first) {
    for (int32_t j = 0; j < count; ++j) {
        const ResizeColumn& column = columns[j];
        const int32_t at = 3 * (column.x - x_first), right = at + column.right;
#if defined(KINETRA_VECTOR_KERNELS)
        const __m128i weights = _mm_set1_epi32(column.weights);
        auto mix = [&](const int16_t* halves) {  // pairs per component, then weighted
            const __m128i pairs = _mm_unpacklo_epi16(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(halves + at)),
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(halves + right)));
            return _mm_madd_epi16(pairs, weights);
        };
        const __m128i sum = _mm_add_epi32(_mm_slli_epi32(mix(span.high), 8), mix(span.low));
        StorePixel(out + j, _mm_packs_epi32(_mm_srai_epi32(sum, 16), _mm_setzero_si128()));
#else
        const int32_t ax = column.weights & 0xFFFF, bx = column.weights >> 16;
        int16_t result[3];
        for (int k = 0; k < 3; ++k) {
            const int32_t high = ax * span.high[at + k] + bx * span.high[right + k];
            const int32_t low = ax * span.low[at + k] + bx * span.low[right + k];
            result[k] = static_cast<int16_t>((high * 256 + low) >> 16);
        }
        out[j] = {result[0], result[1], result[2]};
#endif
    }
}

// A pixel standing alone: all four neighbours are itself.
PixelYC Alone(const PixelYC& p) { return BilinearSample(0, 0, p, p, p, p); }

}  // namespace

void Resize(CommandCall& call) {
    ImageArguments args;
    if (!args.Read(call, kResizeArguments)) return;
    const int32_t sx0 = args[3], sy0 = args[4], sw = args[5], sh = args[6];
    const int32_t dx = args[7], dy = args[8], dw = args[9], dh = args[10];
    SourceWindow source(args.Image(1), sx0, sy0, sw, sh, args.size);
    // Destination pixels outside the image are never written; the visible ones are those of
    // the loop over the whole destination rectangle.
    const Region written = ClipRegion(dx, dy, dw, dh, args.size);
    if (written.empty() || source.visible().empty()) return;
    PixelYC* destination = args.Image(2);
    source.ReadFrom(ReadBeforeWriting(args, args.Image(1), destination, source.visible(), written));

    // Positions in 1/256 pixel: xq = (c - dx) * sw * 256 / dw, and likewise for rows. xq grows
    // with c, so the columns that fall inside the source are one run, found once.
    const Region& inside = source.visible();
    const int64_t x_step = int64_t{sw} * 256;
    // On the source rectangle's last column a pixel stands alone; those columns end the run.
    int32_t first = written.x1, alone_from = written.x1, end = written.x1;
    Progression xq(x_step, dw, int64_t{written.x0} - dx);
    for (int32_t c = written.x0; c < written.x1; ++c, xq.Next()) {
        const int64_t sx = sx0 + (xq.value() >> 8);
        if (sx >= inside.x1) {
            end = c;
            break;
        }
        if (sx >= inside.x0 && first == written.x1) first = c;
        if (sx == source.last_x() && alone_from == written.x1) alone_from = c;
    }
    if (first >= end) return;
    alone_from = std::min(alone_from, end);

    // The run's columns, computed once into the row scratch and shared by the rows; without
    // room there, each row computes them again, a piece at a time on its stack.
    auto describe = [&](ResizeColumn* to, int32_t from, int32_t count) {
        Progression xq(x_step, dw, int64_t{from} - dx);
        for (int32_t k = 0; k < count; ++k, xq.Next()) {
            const int32_t x = static_cast<int32_t>(sx0 + (xq.value() >> 8));
            const int32_t fx = static_cast<int32_t>(xq.value() & 255);
            to[k] = {x, x + 1 < args.size.width ? 3 : 0, (255 - fx) | fx << 16};
        }
    };
    const std::span<ResizeColumn> table =
        args.Scratch<ResizeColumn>(static_cast<size_t>(alone_from - first));
    if (!table.empty()) describe(table.data(), first, alone_from - first);

    const int32_t stride = args.size.width;
    RowLoop(written.y0, written.rows(), args.threads, [&](int32_t r) {
        const int64_t yq = Progression(int64_t{sh} * 256, dh, int64_t{r} - dy).value();
        const int64_t sy = sy0 + (yq >> 8);
        if (sy < inside.y0 || sy >= inside.y1) return;
        const int32_t fy = static_cast<int32_t>(yq & 255);
        const PixelYC* top = source.Row(sy);
        PixelYC* out = destination + PixelIndex(first, r, stride);
        if (sy == source.last_y()) {  // the whole row stands alone
            Progression xq(x_step, dw, int64_t{first} - dx);
            for (int32_t k = 0; k < end - first; ++k, xq.Next()) {
                out[k] = Alone(top[sx0 + (xq.value() >> 8)]);
            }
            return;
        }
        // The rectangle's last column may lie beyond the image, where no column of the run is.
        if (alone_from < end) {
            std::fill(out + (alone_from - first), out + (end - first), Alone(top[source.last_x()]));
        }
        const PixelYC* bottom = sy + 1 < args.size.height ? top + stride : top;

        // Pieces whose source columns fit one span.
        MixedSpan span;
        auto interpolate = [&](PixelYC* to, const ResizeColumn* columns, int32_t count) {
            for (int32_t j = 0; j < count;) {
                // The columns grow along the run: those reading no further than the span reaches.
                const int32_t x_first = columns[j].x;
                const ResizeColumn* past = std::upper_bound(
                    columns + j + 1, columns + count, x_first + kSpanColumns - 2,
                    [](int32_t x, const ResizeColumn& column) { return x < column.x; });
                const int32_t n = static_cast<int32_t>(past - (columns + j));
                const ResizeColumn& last = columns[j + n - 1];
                const int32_t x_end = last.x + (last.right ? 2 : 1);
                MixRows(span, top + x_first, bottom + x_first, x_end - x_first, fy);
                MixColumns(to + j, columns + j, n, span, x_first);
                j += n;
            }
        };
        if (!table.empty()) {
            interpolate(out, table.data(), alone_from - first);
            return;
        }
        constexpr int32_t kPiece = 256;
        ResizeColumn piece[kPiece];
        for (int32_t done = 0; done < alone_from - first; done += kPiece) {
            const int32_t count = std::min(kPiece, alone_from - first - done);
            describe(piece, first + done, count);
            interpolate(out + done, piece, count);
        }
    });
}

// What turning a run of a row needs: the source, the steps of the positions along a row, the
// centre, and the ends of the positions whose four neighbours are all inside.
struct TurnedRun {
    const SourceWindow& source;
    int64_t step_u, step_v, centre_x, centre_y, x_end, y_end;
    ImageSize size;
};

// The samples of columns [first, end) of a destination row, positions (u, v) at the first.
// `interior(out, pixel, fx, fy)` samples a position below x_end and y_end.
template <typename Interior>
[[gnu::always_inline]] inline void TurnRun(const TurnedRun& run, PixelYC* out, int64_t first, int64_t end,
                                           int64_t u, int64_t v, Interior&& interior) {
    // Local copies: the compiler cannot tell that the pixel stores leave them unchanged.
    const int64_t step_u = run.step_u, step_v = run.step_v, x_centre = run.centre_x, y_centre = run.centre_y;
    const int64_t x_end = run.x_end, y_end = run.y_end;
    const int32_t width = run.size.width;
    const PixelYC* const pixels = run.source.Row(0);
    for (int64_t k = first; k < end; ++k, u += step_u, v += step_v) {
        const int64_t sx = x_centre + (u >> 12), sy = y_centre + (v >> 12);
        const int32_t fx = static_cast<int32_t>((u >> 4) & 255);
        const int32_t fy = static_cast<int32_t>((v >> 4) & 255);
        if (sx < x_end && sy < y_end) {
            interior(out + k, pixels + PixelIndex(sx, sy, width), fx, fy);
        } else {
            run.source.Sample(out + k, sx, sy, fx, fy);
        }
    }
}

void TurnLoop(const TurnedRun& run, PixelYC* out, int64_t first, int64_t end, int64_t u, int64_t v) {
    const size_t down = static_cast<size_t>(run.size.width);
    TurnRun(run, out, first, end, u, v, [down](PixelYC* to, const PixelYC* p, int32_t fx, int32_t fy) {
        BilinearSampleAt(to, p, 1, down, fx, fy);
    });
}

#if defined(KINETRA_VECTOR_KERNELS)
KINETRA_SSE41_BEGIN
// Each row's pair of neighbours read as 16 bytes and set in pairs by one byte shuffle (SSSE3),
// instead of four loads and inserts. The 16 bytes reach 4 bytes past the right neighbour: into
// the pixel after it or the next row, which the image has except past its last pixel.
void TurnSSSE3(const TurnedRun& run, PixelYC* out, int64_t first, int64_t end, int64_t u, int64_t v) {
    const size_t down = static_cast<size_t>(run.size.width);
    const PixelYC* const last_pair = run.source.Row(run.size.height) - 2;
    const __m128i pairs = _mm_setr_epi8(0, 1, 6, 7, 2, 3, 8, 9, 4, 5, 10, 11, 12, 13, 14, 15);
    auto pair = [&pairs](const PixelYC* p) {
        return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), pairs);
    };
    TurnRun(run, out, first, end, u, v, [&](PixelYC* to, const PixelYC* p, int32_t fx, int32_t fy) {
        if (p + down == last_pair) return BilinearSampleAt(to, p, 1, down, fx, fy);
        StorePixel(to, BilinearMix(pair(p), pair(p + down), fx, fy));
    });
}
KINETRA_SSE41_END
#endif

// Columns [first, end) of a rotated row into out; u, v are at the first.
constinit const KernelTable<void (*)(const TurnedRun&, PixelYC*, int64_t, int64_t, int64_t, int64_t)> kTurn(
    "kTurn", TurnLoop, nullptr, KINETRA_VECTOR_FORM(TurnSSSE3));

void Rotate(CommandCall& call) {
    ImageArguments args;
    if (!args.Read(call, kRotateArguments)) return;
    const double angle = args.Real(3);
    const int32_t sx0 = args[4], sy0 = args[5], w = args[6], h = args[7], dx = args[8], dy = args[9];
    const int32_t clamped_w = ClampSize(w, args.size.width), clamped_h = ClampSize(h, args.size.height);

    // Sine and cosine in 1/4096; the centre and the bounding box's margins from the size as given.
    const int64_t S = TruncateToInt32(std::sin(angle) * 4096.0);
    const int64_t C = TruncateToInt32(std::cos(angle) * 4096.0);
    const int64_t hw = w / 2, hh = h / 2;
    const int64_t mx = ((std::llabs(C * w) + std::llabs(S * h)) / 4096 - w) / 2;
    const int64_t my = ((std::llabs(C * h) + std::llabs(S * w)) / 4096 - h) / 2;

    SourceWindow source(args.Image(1), sx0, sy0, clamped_w, clamped_h, args.size);
    const Region written = Span(dx - mx, int64_t{dx} + clamped_w + mx, dy - my,
                                int64_t{dy} + clamped_h + my, args.size);
    if (written.empty() || source.visible().empty()) return;
    PixelYC* destination = args.Image(2);
    source.ReadFrom(ReadBeforeWriting(args, args.Image(1), destination, source.visible(), written));

    // Offsets from the centre turned: u = dxc * C - dyc * S, v = dxc * S + dyc * C, in 1/4096
    // pixel; along a row they grow by C and S.
    const int64_t centre_x = sx0 + hw, centre_y = sy0 + hh;
    const int32_t stride = args.size.width;
    // The columns whose position falls inside the source are found per row from the two
    // progressions, so the pixel loop tests nothing.
    const Region& inside = source.visible();
    const int64_t u_lo = (inside.x0 - centre_x) * 4096, u_hi = (inside.x1 - centre_x) * 4096;
    const int64_t v_lo = (inside.y0 - centre_y) * 4096, v_hi = (inside.y1 - centre_y) * 4096;
    const int64_t interior_x = source.interior_x_end(), interior_y = source.interior_y_end();
    const TurnedRun run{source, C, S, centre_x, centre_y, interior_x, interior_y, args.size};
    const auto turn_run = kTurn.Active();
    // Columns [first, end) (from written.x0) of destination row r; u, v are at the first.
    auto turn = [&](int32_t r, int64_t first, int64_t end, int64_t u, int64_t v) {
        turn_run(run, destination + PixelIndex(written.x0, r, stride), first, end, u, v);
    };

    // Whole rows, a block of them a thread: a slanted row reads a cache line or two per source
    // row it crosses, and the next row finds those lines, shifted by about a row, in L2. Strips
    // of columns that would keep them in L1 measured slower (docs/PERFORMANCE.md).
    RowLoop(written.y0, written.rows(), args.threads, [&](int32_t r) {
        const int64_t dyc = r - hh - dy, dxc = written.x0 - hw - dx;
        const int64_t u = dxc * C - dyc * S, v = dxc * S + dyc * C;
        const Steps along_u = StepsWithin(u, C, u_lo, u_hi, written.columns());
        const Steps along_v = StepsWithin(v, S, v_lo, v_hi, written.columns());
        const int64_t first = std::max(along_u.first, along_v.first);
        const int64_t end = std::min(along_u.end, along_v.end);
        if (first < end) turn(r, first, end, u + first * C, v + first * S);
    });
}

// The tables, for the registry.
constinit const ArgumentTable kResizeTable = kResizeArguments;
constinit const ArgumentTable kRotateTable = kRotateArguments;

}  // namespace kinetra::video
