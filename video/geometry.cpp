// resize and rotate: every destination pixel samples a fixed-point source position between four
// neighbours. Positions are kept in 64 bits, so no argument can overflow them; wherever 32 bits
// would have sufficed the results are those of 32-bit arithmetic.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "video/effects.h"

#include "video/arguments.h"
#include "video/color_space.h"
#include "video/kernels/resample.h"
#include "video/pixels.h"
#include "video/rectangles.h"

namespace kinetra::video {
namespace {


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
struct StepRange {
    int64_t first, end;
};
int64_t CeilDivide(int64_t a, int64_t b) {  // b > 0
    return a / b + (a % b > 0 ? 1 : 0);
}
StepRange StepsWithin(int64_t start, int64_t step, int64_t lo, int64_t hi, int64_t count) {
    if (step < 0) return StepsWithin(-start, -step, 1 - hi, 1 - lo, count);
    if (step == 0) return start >= lo && start < hi ? StepRange{0, count} : StepRange{0, 0};
    return {std::max<int64_t>(0, CeilDivide(lo - start, step)),
            std::min(count, CeilDivide(hi - start, step))};
}

// [lo, hi) limited to [0, limit).
Region Span(int64_t x0, int64_t x1, int64_t y0, int64_t y1, ImageSize size) {
    auto limit = [](int64_t v, int32_t l) { return static_cast<int32_t>(ClampToLimit<int64_t>(v, l)); };
    return {limit(x0, size.width), limit(x1, size.width), limit(y0, size.height),
            limit(y1, size.height)};
}


// A pixel standing alone: all four neighbours are itself.
PixelYC Alone(const PixelYC& p) { return BilinearSample(0, 0, p, p, p, p); }

}  // namespace

void Resize(const ImageArguments& args) {
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
    // room there, each block of rows computes them again, a piece at a time on its stack.
    auto describe = [&](ResizeColumn* to, int32_t from, int32_t count) {
        Progression xq(x_step, dw, int64_t{from} - dx);
        for (int32_t k = 0; k < count; ++k, xq.Next()) {
            const int32_t fx = static_cast<int32_t>(xq.value() & 255);
            to[k] = {static_cast<int32_t>(sx0 + (xq.value() >> 8)), (255 - fx) | fx << 16};
        }
    };
    const int32_t interpolated = alone_from - first;
    const std::span<ResizeColumn> table = args.Scratch<ResizeColumn>(static_cast<size_t>(interpolated));
    if (!table.empty()) describe(table.data(), first, interpolated);

    const int32_t stride = args.size.width;
    const MixColumnsForm mix_columns = kMixColumns.Active();
    const MixRowsForm mix_rows = kMixRows.Active();
    // A block of rows a thread, so that a thread keeps the source rows it widened for the
    // destination rows after: the block walks its rows once for the pixels that stand alone,
    // then once for each piece of the interpolated columns.
    BlockLoop(written.y0, written.rows(), args.threads, args.threads, [&](int32_t, int32_t begin, int32_t end_row) {
        // work(r, sy, fy) for the rows whose source row lies inside the source.
        auto each_row = [&](auto&& work) {
            Progression yq(int64_t{sh} * 256, dh, int64_t{begin} - dy);
            for (int32_t r = begin; r < end_row; ++r, yq.Next()) {
                const int64_t sy = sy0 + (yq.value() >> 8);
                if (sy >= inside.y0 && sy < inside.y1) work(r, sy, static_cast<int32_t>(yq.value() & 255));
            }
        };
        each_row([&](int32_t r, int64_t sy, int32_t) {
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
            if (alone_from < end) std::fill(out + interpolated, out + (end - first), Alone(top[source.last_x()]));
        });

        constexpr int32_t kPiece = 512;  // two widened rows of it fit the first-level cache
        ResizeColumn piece[kPiece];
        int32_t widened[2][3 * kPiece + kWidenedSlack];
        for (int32_t done = 0; done < interpolated; done += kPiece) {
            const int32_t count = std::min(kPiece, interpolated - done);
            if (table.empty()) describe(piece, first + done, count);
            const ResizeColumn* columns = table.empty() ? piece : table.data() + done;
            // The source row each widened row holds. A row is widened into the one not holding
            // `keep`, the other row the destination row needs.
            int64_t held[2] = {-1, -1};
            auto widened_row = [&](int64_t sy, int64_t keep) -> const int32_t* {
                for (int k : {0, 1}) {
                    if (held[k] == sy) return widened[k];
                }
                const int k = held[0] == keep ? 1 : 0;
                mix_columns(widened[k], source.Row(sy), stride, columns, count);
                held[k] = sy;
                return widened[k];
            };
            each_row([&](int32_t r, int64_t sy, int32_t fy) {
                if (sy == source.last_y()) return;
                const int64_t below = sy + 1 < args.size.height ? sy + 1 : sy;
                const int32_t* top = widened_row(sy, below);
                const int32_t* bottom = widened_row(below, sy);
                mix_rows(destination + PixelIndex(first + done, r, stride), top, bottom, count, fy);
            });
        }
    });
}

void Rotate(const ImageArguments& args) {
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
    // Along a row the positions move one way, so those inside the source are one run of columns,
    // and those among them with all four neighbours inside (off the rectangle's last column and
    // row and the image's edge) another: found per row from the progressions, so that the
    // kernel samples the inner run without a test, and the source window's sampler, which
    // knows the edges, the few positions beside it.
    const Region& inside = source.visible();
    auto offset = [](int64_t from, int64_t centre) { return (from - centre) * 4096; };
    const int64_t u_lo = offset(inside.x0, centre_x), v_lo = offset(inside.y0, centre_y);
    const int64_t u_hi = offset(inside.x1, centre_x), v_hi = offset(inside.y1, centre_y);
    const int64_t u_inner = offset(source.interior_x_end(), centre_x);
    const int64_t v_inner = offset(source.interior_y_end(), centre_y);
    const TurnedRun run{source.Row(0), C, S, centre_x, centre_y, args.size};
    const auto turn_run = kTurn.Active();

    // Whole rows, a block of them a thread: a slanted row reads a cache line or two per source
    // row it crosses, and the next row finds those lines, shifted by about a row, in L2. Strips
    // or tiles of the destination that would keep them in L1 measured slower (docs/PERFORMANCE.md).
    RowLoop(written.y0, written.rows(), args.threads, [&](int32_t r) {
        const int64_t dyc = r - hh - dy, dxc = written.x0 - hw - dx;
        const int64_t u = dxc * C - dyc * S, v = dxc * S + dyc * C;
        auto steps_inside = [&](int64_t u_end, int64_t v_end) {
            const StepRange along_u = StepsWithin(u, C, u_lo, u_end, written.columns());
            const StepRange along_v = StepsWithin(v, S, v_lo, v_end, written.columns());
            return StepRange{std::max(along_u.first, along_v.first), std::min(along_u.end, along_v.end)};
        };
        const StepRange seen = steps_inside(u_hi, v_hi);
        if (seen.first >= seen.end) return;
        const StepRange inner = steps_inside(u_inner, v_inner);
        const int64_t inner_first = std::clamp(inner.first, seen.first, seen.end);
        const int64_t inner_end = std::clamp(inner.end, inner_first, seen.end);

        PixelYC* out = destination + PixelIndex(written.x0, r, stride);
        auto sample_edge = [&](int64_t first, int64_t end) {
            for (int64_t k = first; k < end; ++k) {
                const int64_t uk = u + k * C, vk = v + k * S;
                source.Sample(out + k, centre_x + (uk >> 12), centre_y + (vk >> 12),
                              static_cast<int32_t>((uk >> 4) & 255), static_cast<int32_t>((vk >> 4) & 255));
            }
        };
        sample_edge(seen.first, inner_first);
        if (inner_first < inner_end) turn_run(run, out, inner_first, inner_end, u + inner_first * C, v + inner_first * S);
        sample_edge(inner_end, seen.end);
    });
}

}  // namespace kinetra::video
