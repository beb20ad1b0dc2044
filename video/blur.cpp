// mosaic, defocus, diffuse: each destination pixel is made from a neighbourhood of the source.
// Sums are 64-bit, so no cell or window is too large; where 32 bits would have sufficed the
// means are those of 32-bit sums.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#include "video/effects.h"

#include "host/random.h"
#include "video/arguments.h"
#include "video/color_space.h"
#include "video/pixels.h"
#include "video/rectangles.h"

namespace kinetra::video {
namespace {

// sum / count truncated toward zero, through doubles, which divide faster than 64-bit integers
// and give the same quotient here: |sum| <= 32768 * count, so the rounding error of the
// quotient is below 2^-38 while a quotient that is not whole lies at least 1 / count (above
// 2^-38 for any count an image can have) from the integers on either side.
inline int16_t Quotient(int64_t sum, int64_t count) {
    return static_cast<int16_t>(TruncateToInt32(static_cast<double>(sum) / static_cast<double>(count)));
}

struct AreaSums {
    int64_t y = 0, cb = 0, cr = 0, count = 0;

    void Add(const PixelYC& p) {
        y += p.y;
        cb += p.cb;
        cr += p.cr;
        ++count;
    }
    // The n pixels from p, summed in registers first: adding each pixel to the sums in memory
    // waits on the store of the one before.
    void AddRun(const PixelYC* p, int64_t n) {
        int64_t run_y = 0, run_cb = 0, run_cr = 0;
        for (int64_t i = 0; i < n; ++i) {
            run_y += p[i].y;
            run_cb += p[i].cb;
            run_cr += p[i].cr;
        }
        y += run_y;
        cb += run_cb;
        cr += run_cr;
        count += n;
    }
    // Each quotient truncated toward zero; the mean of 16-bit values is one again. Up to 2^18
    // values the sums lie within 2^33, where one reciprocal replaces three 64-bit divisions.
    PixelYC Mean() const {
        if (count <= (int64_t{1} << 18)) {
            const double reciprocal = TruncatingReciprocal(count);
            auto mean = [reciprocal](int64_t sum) {
                return static_cast<int16_t>(static_cast<int32_t>(static_cast<double>(sum) * reciprocal));
            };
            return {mean(y), mean(cb), mean(cr)};
        }
        return {static_cast<int16_t>(y / count), static_cast<int16_t>(cb / count),
                static_cast<int16_t>(cr / count)};
    }
};

// ---------------------------------------------------------------------------------------------
// mosaic

// A rectangle of w x h positions cut into cells of cw x ch. Position (cc, rr) belongs to the
// cell numbered ((rr / ch) * w) / cw + cc / cw. When w is not a multiple of cw, the narrow
// last cell of one cell row can get the number of the first cell of the next, and then both
// form one cell with one mean; when w < cw, whole runs of cell rows share one number.
//
// A "piece" is (cell row K, cell column j): the positions of K's rows and j's columns. Pieces
// of one number follow each other in row-major order, so a cell is its piece plus, at most,
// the last piece of the cell row before and the first piece of the cell row after, or (when a
// cell row is a single piece) a run of whole cell rows.
class MosaicGrid {
public:
    MosaicGrid(int32_t w, int32_t h, int32_t cw, int32_t ch)
        : w_(w), h_(h), cw_(cw), ch_(ch), cell_rows_((int64_t{h} + ch - 1) / ch), last_j_((w - 1) / cw) {}

    int64_t Number(int64_t k, int64_t j) const { return k * w_ / cw_ + j; }
    int64_t cell_width() const { return cw_; }
    int64_t cell_rows() const { return cell_rows_; }
    int64_t last_column() const { return last_j_; }
    int64_t RowStart(int64_t k) const { return k * ch_; }
    int64_t RowEnd(int64_t k) const { return std::min<int64_t>(k * ch_ + ch_, h_); }
    int64_t ColumnStart(int64_t j) const { return j * cw_; }
    int64_t ColumnEnd(int64_t j) const { return std::min<int64_t>(j * cw_ + cw_, w_); }

    // The cell rows whose number is that of cell row k, when a cell row is one piece:
    // floor(k' * w / cw) = n for ceil(n * cw / w) <= k' < ceil((n + 1) * cw / w).
    void RunOf(int64_t k, int64_t& first, int64_t& end) const {
        const int64_t n = Number(k, 0);
        first = (n * cw_ + w_ - 1) / w_;
        end = std::min<int64_t>(((n + 1) * cw_ + w_ - 1) / w_, cell_rows_);
    }

private:
    int64_t w_, h_, cw_, ch_, cell_rows_, last_j_;
};

// Reads source positions by offset from the rectangle's corner, only those inside the image.
struct MosaicSource {
    const PixelYC* pixels;
    int32_t x, y, stride;
    int64_t u0, u1, v0, v1;  // visible offsets

    void AddArea(AreaSums& sums, int64_t rows_from, int64_t rows_to, int64_t cols_from,
                 int64_t cols_to) const {
        const int64_t r0 = std::max(rows_from, v0), r1 = std::min(rows_to, v1);
        const int64_t c0 = std::max(cols_from, u0), c1 = std::min(cols_to, u1);
        for (int64_t r = r0; r < r1 && c0 < c1; ++r) sums.AddRun(pixels + PixelIndex(x + c0, y + r, stride), c1 - c0);
    }
};

constexpr int kCellsPerPass = 256;  // accumulators on the stack, enough to keep rows in cache

void MosaicCellRow(const MosaicGrid& grid, const MosaicSource& source, PixelYC* destination,
                   const RectangleMap& written, int64_t k) {
    const int64_t row_start = grid.RowStart(k), row_end = grid.RowEnd(k);
    const int64_t last_j = grid.last_column();
    const int64_t first_j = written.u0 / grid.cell_width();
    const int64_t end_j = (int64_t{written.u1} - 1) / grid.cell_width() + 1;
    AreaSums cells[kCellsPerPass];
    PixelYC means[kCellsPerPass];
    for (int64_t ja = first_j; ja < end_j; ja += kCellsPerPass) {
        const int64_t jb = std::min<int64_t>(ja + kCellsPerPass, end_j);
        std::fill(cells, cells + (jb - ja), AreaSums{});
        if (last_j == 0) {
            int64_t run_first, run_end;
            grid.RunOf(k, run_first, run_end);
            source.AddArea(cells[0], grid.RowStart(run_first), grid.RowEnd(run_end - 1), 0,
                           grid.ColumnEnd(0));
        } else {
            // Each row of the cell row once, left to right, a cell's columns at a time.
            const int64_t r0 = std::max(row_start, source.v0), r1 = std::min(row_end, source.v1);
            const int64_t c0 = std::max(grid.ColumnStart(ja), source.u0);
            const int64_t c1 = std::min(grid.ColumnEnd(jb - 1), source.u1);
            for (int64_t r = r0; r < r1 && c0 < c1; ++r) {
                const PixelYC* line = source.pixels + PixelIndex(source.x, source.y + r, source.stride);
                AreaSums* cell = cells + (c0 / grid.cell_width() - ja);
                int64_t edge = grid.ColumnEnd(c0 / grid.cell_width());
                for (int64_t c = c0; c < c1; ++cell, edge += grid.cell_width()) {
                    const int64_t stop = std::min(edge, c1);
                    cell->AddRun(line + c, stop - c);
                    c = stop;
                }
            }
            if (ja == 0 && k > 0 && grid.Number(k - 1, last_j) == grid.Number(k, 0)) {
                source.AddArea(cells[0], grid.RowStart(k - 1), grid.RowEnd(k - 1),
                               grid.ColumnStart(last_j), grid.ColumnEnd(last_j));
            }
            if (jb - 1 == last_j && k + 1 < grid.cell_rows() &&
                grid.Number(k + 1, 0) == grid.Number(k, last_j)) {
                source.AddArea(cells[last_j - ja], grid.RowStart(k + 1), grid.RowEnd(k + 1), 0,
                               grid.ColumnEnd(0));
            }
        }
        // Each mean once, not once a row: it waits on a division.
        for (int64_t j = ja; j < jb; ++j) {
            if (cells[j - ja].count > 0) means[j - ja] = cells[j - ja].Mean();
        }
        const int64_t r0 = std::max<int64_t>(row_start, written.v0);
        const int64_t r1 = std::min<int64_t>(row_end, written.v1);
        for (int64_t r = r0; r < r1; ++r) {
            PixelYC* line = destination + PixelIndex(0, written.SourceY(static_cast<int32_t>(r)),
                                                     source.stride);
            for (int64_t j = ja; j < jb; ++j) {
                if (cells[j - ja].count == 0) continue;  // no pixel of the cell in the image
                const int64_t c0 = std::max<int64_t>(grid.ColumnStart(j), written.u0);
                const int64_t c1 = std::min<int64_t>(grid.ColumnEnd(j), written.u1);
                std::fill(line + written.SourceX(static_cast<int32_t>(c0)),
                          line + written.SourceX(static_cast<int32_t>(c0)) + (c1 - c0), means[j - ja]);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// defocus

// The window of source position (c, r) is columns [c - a, c + a) and rows [r - b, r + b), cut
// at the image's left and top edges and at right and bottom, the rectangle's right and bottom
// edges (or the image's, when nearer).
struct DefocusWindow {
    int64_t a, b, right, bottom;

    int64_t Count(int64_t c, int64_t r) const {
        return (std::min(right, c + a) - std::max<int64_t>(0, c - a)) *
               (std::min(bottom, r + b) - std::max<int64_t>(0, r - b));
    }
};

// The plain loop, for when no memory for the column sums can be had: the same means.
void DefocusDirect(const ImageArguments& args, const RectangleMap& map, const DefocusWindow& window,
                   const PixelYC* source, PixelYC* destination) {
    const int32_t stride = args.size.width;
    RowLoop(map.v0, map.rows(), args.threads, [&](int32_t v) {
        const int64_t r = map.SourceY(v);
        PixelYC* out = destination + PixelIndex(map.DestinationX(map.u0), map.DestinationY(v), stride);
        for (int32_t u = map.u0; u < map.u1; ++u) {
            const int64_t c = map.SourceX(u);
            AreaSums sums;
            for (int64_t i = std::max<int64_t>(0, r - window.b); i < std::min(window.bottom, r + window.b); ++i) {
                for (int64_t k = std::max<int64_t>(0, c - window.a); k < std::min(window.right, c + window.a); ++k) {
                    sums.Add(source[PixelIndex(k, i, stride)]);
                }
            }
            out[u - map.u0] = sums.Mean();
        }
    });
}

// What every block of rows needs: the source and destination, the rectangles, and the columns
// [k0, k1) whose sums the blocks keep.
struct DefocusPlan {
    const PixelYC* source;
    PixelYC* destination;
    const RectangleMap& map;
    DefocusWindow window;
    int64_t k0, c_first, c_last;
    size_t columns;
    int32_t stride;

    const PixelYC* Line(int64_t row) const { return source + PixelIndex(k0, row, stride); }
    PixelYC* Out(int32_t v) const {
        return destination + PixelIndex(map.DestinationX(map.u0), map.DestinationY(v), stride);
    }
};

inline void AddColumn(int64_t* sums, const PixelYC& p) {
    sums[0] += p.y;
    sums[1] += p.cb;
    sums[2] += p.cr;
}

// The portable form, for every window: 64-bit sums, and means through double divisions.
void WideDefocusRows(const DefocusPlan& plan, int64_t* sums, int32_t v_begin, int32_t v_end) {
    const DefocusWindow& window = plan.window;
    const size_t columns = plan.columns;
    for (int32_t v = v_begin; v < v_end; ++v) {
        const int64_t r = plan.map.SourceY(v);
        if (v == v_begin) {
            std::fill(sums, sums + columns * 3, int64_t{0});
            for (int64_t i = std::max<int64_t>(0, r - window.b); i < std::min(window.bottom, r + window.b); ++i) {
                const PixelYC* line = plan.Line(i);
                for (size_t k = 0; k < columns; ++k) AddColumn(sums + 3 * k, line[k]);
            }
        } else {
            // The window moved down one row: row r - 1 - b leaves, row r - 1 + b enters.
            const int64_t leaving = r - 1 - window.b, entering = r - 1 + window.b;
            const PixelYC* out_line = leaving >= 0 ? plan.Line(leaving) : nullptr;
            const PixelYC* in_line = entering < window.bottom ? plan.Line(entering) : nullptr;
            for (size_t k = 0; k < columns; ++k) {
                int64_t* s = sums + 3 * k;
                if (in_line) AddColumn(s, in_line[k]);
                if (out_line) {
                    s[0] -= out_line[k].y;
                    s[1] -= out_line[k].cb;
                    s[2] -= out_line[k].cr;
                }
            }
        }
        // The window of the first column, then one column in and one out per step.
        int64_t y = 0, cb = 0, cr = 0;
        for (int64_t k = std::max<int64_t>(0, plan.c_first - window.a); k < std::min(window.right, plan.c_first + window.a); ++k) {
            const int64_t* s = sums + 3 * (k - plan.k0);
            y += s[0];
            cb += s[1];
            cr += s[2];
        }
        PixelYC* out = plan.Out(v);
        for (int64_t c = plan.c_first;; ++c) {
            const int64_t count = window.Count(c, r);
            *out++ = {Quotient(y, count), Quotient(cb, count), Quotient(cr, count)};
            if (c == plan.c_last) break;  // column c_last + a may lie beyond the sums
            if (c - window.a >= 0) {
                const int64_t* s = sums + 3 * (c - window.a - plan.k0);
                y -= s[0];
                cb -= s[1];
                cr -= s[2];
            }
            if (c + window.a < window.right) {
                const int64_t* s = sums + 3 * (c + window.a - plan.k0);
                y += s[0];
                cb += s[1];
                cr += s[2];
            }
        }
    }
}

// For windows of at most 65536 pixels: a component's sum over one then fits 32 bits, so the
// sums are 32-bit lanes of the compiler's generic vectors, and a mean is one multiplication by
// a reciprocal (TruncatingReciprocal; the sums lie within 2^31). The same loop compiled for
// AVX2 ran no faster (docs/PERFORMANCE.md): the build's baseline is the only form.
constexpr int64_t kNarrowWindowPixels = 65536;

inline int16_t TruncatedMean(int32_t sum, double reciprocal) {
    return static_cast<int16_t>(static_cast<int32_t>(static_cast<double>(sum) * reciprocal));
}

// A pixel's three sums and a fourth lane that is carried along unread: a window's sum moves by
// one column's sums (three 32-bit values) with one vector add. The arithmetic wraps, so a sum
// on its way may leave the 32-bit range as long as where it arrives lies inside.
using PixelLanes = uint32_t __attribute__((vector_size(16)));

inline PixelLanes LoadLanes(const int32_t* p) {
    PixelLanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void StoreLanes(int32_t* p, PixelLanes v) { std::memcpy(p, &v, sizeof v); }

// Column sums moved by whole rows of components (y, cb, cr of every column in a row).
[[gnu::always_inline]] inline void AddRow(int32_t* sums, const int16_t* row, size_t n) {
#pragma omp simd
    for (size_t i = 0; i < n; ++i) sums[i] += row[i];
}
[[gnu::always_inline]] inline void SubtractRow(int32_t* sums, const int16_t* row, size_t n) {
#pragma omp simd
    for (size_t i = 0; i < n; ++i) sums[i] -= row[i];
}
[[gnu::always_inline]] inline void MoveRows(int32_t* sums, const int16_t* entering, const int16_t* leaving,
                                            size_t n) {
#pragma omp simd
    for (size_t i = 0; i < n; ++i) sums[i] += int32_t{entering[i]} - leaving[i];
}

[[gnu::always_inline]] inline void SumChanges(const int32_t* entering, const int32_t* leaving, size_t n,
                                              int32_t* steps) {
#pragma omp simd
    for (size_t i = 0; i < n; ++i) {
        steps[i] = static_cast<int32_t>(static_cast<uint32_t>(entering[i]) - static_cast<uint32_t>(leaving[i]));
    }
}

[[gnu::always_inline]] inline void Means(const int32_t* sums, size_t n, double reciprocal, int16_t* out) {
#pragma omp simd
    for (size_t i = 0; i < n; ++i) out[i] = TruncatedMean(sums[i], reciprocal);
}

constexpr int64_t kDefocusRun = 64;  // pixels whose window sums are formed before their means

void NarrowDefocusRows(const DefocusPlan& plan, int32_t* sums, int32_t v_begin, int32_t v_end) {
    const int64_t a = plan.window.a, b = plan.window.b, right = plan.window.right;
    const int64_t bottom = plan.window.bottom, k0 = plan.k0, c_first = plan.c_first, c_last = plan.c_last;
    const size_t n = 3 * plan.columns;
    sums[n] = 0;  // the fourth lane of the last column
    auto line = [&](int64_t row) { return reinterpret_cast<const int16_t*>(plan.Line(row)); };
    for (int32_t v = v_begin; v < v_end; ++v) {
        const int64_t r = plan.map.SourceY(v);
        if (v == v_begin) {
            std::fill(sums, sums + n, 0);
            for (int64_t i = std::max<int64_t>(0, r - b); i < std::min(bottom, r + b); ++i) AddRow(sums, line(i), n);
        } else {
            const int64_t leaving = r - 1 - b, entering = r - 1 + b;
            if (leaving >= 0 && entering < bottom) {
                MoveRows(sums, line(entering), line(leaving), n);
            } else if (entering < bottom) {
                AddRow(sums, line(entering), n);
            } else if (leaving >= 0) {
                SubtractRow(sums, line(leaving), n);
            }
        }
        const int64_t rows = std::min(bottom, r + b) - std::max<int64_t>(0, r - b);
        const double interior = TruncatingReciprocal(2 * a * rows);  // a window of 2a columns
        int64_t first[3] = {0, 0, 0};
        for (int64_t k = std::max<int64_t>(0, c_first - a); k < std::min(right, c_first + a); ++k) {
            for (int j = 0; j < 3; ++j) first[j] += sums[3 * (k - k0) + j];
        }
        int32_t steps[3 * kDefocusRun + 1];
        steps[3 * kDefocusRun] = 0;  // the fourth lane of the last step
        PixelLanes window = {static_cast<uint32_t>(first[0]), static_cast<uint32_t>(first[1]),
                             static_cast<uint32_t>(first[2]), 0};
        int16_t* out = reinterpret_cast<int16_t*>(plan.Out(v));
        for (int64_t c = c_first; c <= c_last; c += kDefocusRun) {
            const int64_t count = std::min(kDefocusRun, c_last - c + 1), last = c + count - 1;
            int32_t window_sums[3 * kDefocusRun + 1];
            if (c >= a && last + a < right && last < c_last) {
                // Inside: one column enters and one leaves at every step. The steps are formed
                // first, so that the running sum waits on one addition a pixel, not two.
                SumChanges(sums + 3 * (c + a - k0), sums + 3 * (c - a - k0), static_cast<size_t>(3 * count), steps);
#pragma GCC unroll 4
                for (int64_t i = 0; i < count; ++i) {
                    StoreLanes(window_sums + 3 * i, window);
                    window += LoadLanes(steps + 3 * i);
                }
            } else {
                for (int64_t i = 0; i < count; ++i) {
                    StoreLanes(window_sums + 3 * i, window);
                    const int64_t at = c + i;
                    if (at == c_last) break;  // column c_last + a may lie beyond the sums
                    if (at + a < right) window += LoadLanes(sums + 3 * (at + a - k0));
                    if (at >= a) window -= LoadLanes(sums + 3 * (at - a - k0));
                }
            }
            int16_t* means = out + 3 * (c - c_first);
            if (c >= a && last + a <= right) {
                Means(window_sums, static_cast<size_t>(3 * count), interior, means);
            } else {
                for (int64_t i = 0; i < count; ++i) {
                    const int64_t at = c + i, width = std::min(right, at + a) - std::max<int64_t>(0, at - a);
                    const double reciprocal = width == 2 * a ? interior : TruncatingReciprocal(width * rows);
                    for (int j = 0; j < 3; ++j) means[3 * i + j] = TruncatedMean(window_sums[3 * i + j], reciprocal);
                }
            }
        }
    }
}


// ---------------------------------------------------------------------------------------------
// diffuse

// Each worker thread draws from its own generator, so no draw is shared or lost. A generator
// starts from a fixed state, a different one per thread, and continues from command to command
// and frame to frame.
uint32_t FirstRandomState() {
    static std::atomic<uint32_t> generators{0};
    return 1u + 0x9E3779B9u * generators.fetch_add(1, std::memory_order_relaxed);
}

uint32_t& ThreadRandomState() {
    thread_local uint32_t state = FirstRandomState();
    return state;
}

// A thread's generator for the length of a row: the state lives in a register meanwhile.
class RandomDraws {
public:
    RandomDraws() : home_(ThreadRandomState()), state_(home_) {}
    ~RandomDraws() { home_ = state_; }
    RandomDraws(const RandomDraws&) = delete;
    RandomDraws& operator=(const RandomDraws&) = delete;

    // 0..32767, uniform.
    uint32_t Next() { return NextDraw(state_); }
    // The next four.
    void NextFour(uint32_t draws[4]) { NextFourDraws(state_, draws); }

private:
    uint32_t& home_;
    uint32_t state_;
};

// An offset in -reach..reach from a draw in 0..32767: draw * (2 reach + 1) / 32768 - reach, the
// product never negative, so the quotient is a shift.
inline int64_t Offset(uint32_t draw, int64_t reach) {
    return static_cast<int64_t>((uint64_t{draw} * static_cast<uint64_t>(2 * reach + 1)) >> 15) - reach;
}

}  // namespace

void Mosaic(const ImageArguments& args) {
    const int32_t w = args[5], h = args[6];
    const int32_t cw = ClampSize(args[9], args.size.width), ch = ClampSize(args[10], args.size.height);
    // The source positions are tested against the image alone, and so are the destination
    // positions: a cell whose pixels all lie outside leaves its destination unchanged.
    const RectangleMap read(args[3], args[4], w, h, args.size);
    const RectangleMap written(args[7], args[8], w, h, args.size);
    if (read.empty() || written.empty()) return;
    PixelYC* destination = args.Image(2);
    const PixelYC* pixels =
        ReadBeforeWriting(args, args.Image(1), destination, read.SourceRegion(), written.SourceRegion());
    const MosaicGrid grid(w, h, cw, ch);
    const MosaicSource source{pixels, args[3], args[4], args.size.width, read.u0, read.u1, read.v0, read.v1};
    // One cell row per step: each writes only its own destination rows, and every cell's sum
    // is formed by one thread, so the means are the same for any thread count.
    const int64_t first_k = written.v0 / ch, end_k = (int64_t{written.v1} - 1) / ch + 1;
    RowLoop(static_cast<int32_t>(first_k), static_cast<int32_t>(end_k - first_k), args.threads,
            [&](int32_t k) { MosaicCellRow(grid, source, destination, written, k); });
}

void Defocus(const ImageArguments& args) {
    const int32_t kw = ClampSize(std::max(args[9], 2), args.size.width);
    const int32_t kh = ClampSize(std::max(args[10], 2), args.size.height);
    RectangleMap map(args[3], args[4], args[5], args[6], args.size);
    map.Destination(args[7], args[8]);
    if (map.empty()) return;
    // A window of at least one column and row either side, so that it always holds (c, r)
    // itself even when an image one pixel wide limits its width to 1.
    const DefocusWindow window{std::max(kw / 2, 1), std::max(kh / 2, 1),
                               std::min<int64_t>(int64_t{args[3]} + args[5], args.size.width),
                               std::min<int64_t>(int64_t{args[4]} + args[6], args.size.height)};
    const int64_t c_first = map.SourceX(map.u0), c_last = map.SourceX(map.u1 - 1);
    const int64_t r_first = map.SourceY(map.v0), r_last = map.SourceY(map.v1 - 1);
    const int64_t k0 = std::max<int64_t>(0, c_first - window.a);
    const int64_t k1 = std::min(window.right, c_last + window.a);
    const Region read{static_cast<int32_t>(k0), static_cast<int32_t>(k1),
                      static_cast<int32_t>(std::max<int64_t>(0, r_first - window.b)),
                      static_cast<int32_t>(std::min(window.bottom, r_last + window.b))};
    PixelYC* destination = args.Image(2);
    const PixelYC* source = ReadBeforeWriting(args, args.Image(1), destination, read, map.DestinationRegion());

    // Each block of rows keeps the sums of its window's rows per column and moves them down a
    // row at a time; along a row the window's sum moves a column at a time. The cost per pixel
    // does not grow with the window.
    const int32_t blocks = std::min({args.threads, map.rows(), kMaxWorkerThreads});
    const DefocusPlan plan{source, destination, map, window, k0, c_first, c_last,
                           static_cast<size_t>(k1 - k0), args.size.width};
    // Each block's sums live in the own block's row scratch, which holds them for every
    // thread count up to the track bar's maximum.
    const int64_t largest_window = std::min<int64_t>(2 * window.a, window.right) *
                                   std::min<int64_t>(2 * window.b, window.bottom);
    if (largest_window <= kNarrowWindowPixels) {
        const size_t per_block = 3 * plan.columns + 1;
        if (int32_t* memory = args.Scratch<int32_t>(per_block, static_cast<size_t>(blocks)).data()) {
            BlockLoop(map.v0, map.rows(), blocks, args.threads, [&](int32_t block, int32_t v_begin, int32_t v_end) {
                NarrowDefocusRows(plan, memory + static_cast<size_t>(block) * per_block, v_begin, v_end);
            });
            return;
        }
    }
    int64_t* memory = args.Scratch<int64_t>(plan.columns, 3 * static_cast<size_t>(blocks)).data();
    if (!memory) {
        DefocusDirect(args, map, window, source, destination);
        return;
    }
    BlockLoop(map.v0, map.rows(), blocks, args.threads, [&](int32_t block, int32_t v_begin, int32_t v_end) {
        WideDefocusRows(plan, memory + static_cast<size_t>(block) * plan.columns * 3, v_begin, v_end);
    });
}

void Diffuse(const ImageArguments& args) {
    const int64_t rx = ClampSize(args[9], args.size.width), ry = ClampSize(args[10], args.size.height);
    RectangleMap map(args[3], args[4], args[5], args[6], args.size);
    map.Destination(args[7], args[8]);
    if (map.empty()) return;
    // Samples stay left of the rectangle's (or the image's) right edge and above its bottom
    // edge; nothing keeps them right of or below its top-left corner.
    const int64_t right = std::min<int64_t>(int64_t{args[3]} + args[5], args.size.width);
    const int64_t bottom = std::min<int64_t>(int64_t{args[4]} + args[6], args.size.height);
    const int64_t c_first = map.SourceX(map.u0), c_last = map.SourceX(map.u1 - 1);
    const int64_t r_first = map.SourceY(map.v0), r_last = map.SourceY(map.v1 - 1);
    const Region read{static_cast<int32_t>(std::max<int64_t>(0, c_first - rx)),
                      static_cast<int32_t>(std::min(right, c_last + rx + 1)),
                      static_cast<int32_t>(std::max<int64_t>(0, r_first - ry)),
                      static_cast<int32_t>(std::min(bottom, r_last + ry + 1))};
    PixelYC* destination = args.Image(2);
    const PixelYC* source = ReadBeforeWriting(args, args.Image(1), destination, read, map.DestinationRegion());
    const int32_t stride = args.size.width;
    RowLoop(map.v0, map.rows(), args.threads, [&](int32_t v) {
        const int64_t r = map.SourceY(v);
        PixelYC* out = destination + PixelIndex(map.DestinationX(map.u0), map.DestinationY(v), stride);
        // Each pixel draws its column's offset, then its row's.
        auto take = [&](int64_t c, uint32_t column_draw, uint32_t row_draw) {
            const int64_t x = std::clamp<int64_t>(c + Offset(column_draw, rx), 0, right - 1);
            const int64_t y = std::clamp<int64_t>(r + Offset(row_draw, ry), 0, bottom - 1);
            *out++ = source[PixelIndex(x, y, stride)];
        };
        RandomDraws random;
        int64_t c = c_first;
        for (; c < c_last; c += 2) {
            uint32_t draws[4];
            random.NextFour(draws);
            take(c, draws[0], draws[1]);
            take(c + 1, draws[2], draws[3]);
        }
        if (c == c_last) {
            const uint32_t column_draw = random.Next();
            take(c, column_draw, random.Next());
        }
    });
}

}  // namespace kinetra::video
