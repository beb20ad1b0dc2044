// mosaic, defocus, diffuse: each destination pixel is made from a neighbourhood of the source.
// Sums are 64-bit, so no cell or window is too large; where 32 bits would have sufficed the
// means are those of 32-bit sums.
#include <algorithm>
#include <atomic>

#include "video/effects.h"

#include "host/random.h"
#include "video/arguments.h"
#include "video/color_space.h"
#include "video/pixels.h"
#include "video/rectangles.h"

namespace kinetra::video {
namespace {

constexpr ArgumentSpec kMosaicArguments[] = {
    Buffer(1, "source"), Buffer(2, "destination"), Integer(3, "source x"), Integer(4, "source y"),
    Width(5, "w"), Height(6, "h"), Integer(7, "destination x"), Integer(8, "destination y"),
    Integer(9, "cell width"), Integer(10, "cell height")};

constexpr ArgumentSpec kDefocusArguments[] = {
    Buffer(1, "source"), Buffer(2, "destination"), Integer(3, "source x"), Integer(4, "source y"),
    Width(5, "w"), Height(6, "h"), Integer(7, "destination x"), Integer(8, "destination y"),
    Integer(9, "window width"), Integer(10, "window height")};

constexpr ArgumentSpec kDiffuseArguments[] = {
    Buffer(1, "source"), Buffer(2, "destination"), Integer(3, "source x"), Integer(4, "source y"),
    Width(5, "w"), Height(6, "h"), Integer(7, "destination x"), Integer(8, "destination y"),
    Integer(9, "reach x"), Integer(10, "reach y")};

// sum / count truncated toward zero, through doubles, which divide faster than 64-bit integers
// and give the same quotient here: |sum| <= 32768 * count, so the rounding error of the
// quotient is below 2^-38 while a quotient that is not whole lies at least 1 / count (above
// 2^-38 for any count an image can have) from the integers on either side.
inline int16_t Quotient(int64_t sum, int64_t count) {
    return static_cast<int16_t>(TruncateToInt32(static_cast<double>(sum) / static_cast<double>(count)));
}

struct Sums {
    int64_t y = 0, cb = 0, cr = 0, count = 0;

    void Add(const PixelYC& p) {
        y += p.y;
        cb += p.cb;
        cr += p.cr;
        ++count;
    }
    // Each quotient truncated toward zero; the mean of 16-bit values is one again.
    PixelYC Mean() const {
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

    void AddArea(Sums& sums, int64_t rows_from, int64_t rows_to, int64_t cols_from,
                 int64_t cols_to) const {
        const int64_t r0 = std::max(rows_from, v0), r1 = std::min(rows_to, v1);
        const int64_t c0 = std::max(cols_from, u0), c1 = std::min(cols_to, u1);
        for (int64_t r = r0; r < r1; ++r) {
            const PixelYC* line = pixels + PixelIndex(x + c0, y + r, stride);
            for (int64_t c = 0; c < c1 - c0; ++c) sums.Add(line[c]);
        }
    }
};

constexpr int kCellsPerPass = 256;  // accumulators on the stack, enough to keep rows in cache

void MosaicCellRow(const MosaicGrid& grid, const MosaicSource& source, PixelYC* destination,
                   const RectangleMap& written, int64_t k) {
    const int64_t row_start = grid.RowStart(k), row_end = grid.RowEnd(k);
    const int64_t last_j = grid.last_column();
    const int64_t first_j = written.u0 / grid.cell_width();
    const int64_t end_j = (int64_t{written.u1} - 1) / grid.cell_width() + 1;
    Sums cells[kCellsPerPass];
    for (int64_t ja = first_j; ja < end_j; ja += kCellsPerPass) {
        const int64_t jb = std::min<int64_t>(ja + kCellsPerPass, end_j);
        std::fill(cells, cells + (jb - ja), Sums{});
        if (last_j == 0) {
            int64_t run_first, run_end;
            grid.RunOf(k, run_first, run_end);
            source.AddArea(cells[0], grid.RowStart(run_first), grid.RowEnd(run_end - 1), 0,
                           grid.ColumnEnd(0));
        } else {
            // Each row of the cell row once, left to right, moving to the next cell at its edge.
            const int64_t r0 = std::max(row_start, source.v0), r1 = std::min(row_end, source.v1);
            const int64_t c0 = std::max(grid.ColumnStart(ja), source.u0);
            const int64_t c1 = std::min(grid.ColumnEnd(jb - 1), source.u1);
            for (int64_t r = r0; r < r1 && c0 < c1; ++r) {
                const PixelYC* line = source.pixels + PixelIndex(source.x + c0, source.y + r, source.stride);
                Sums* cell = cells + (c0 / grid.cell_width() - ja);
                int64_t edge = grid.ColumnEnd(c0 / grid.cell_width());
                for (int64_t c = c0; c < c1; ++c) {
                    if (c == edge) {
                        ++cell;
                        edge += grid.cell_width();
                    }
                    cell->Add(line[c - c0]);
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
        const int64_t r0 = std::max<int64_t>(row_start, written.v0);
        const int64_t r1 = std::min<int64_t>(row_end, written.v1);
        for (int64_t r = r0; r < r1; ++r) {
            PixelYC* line = destination + PixelIndex(0, written.SourceY(static_cast<int32_t>(r)),
                                                     source.stride);
            for (int64_t j = ja; j < jb; ++j) {
                if (cells[j - ja].count == 0) continue;  // no pixel of the cell in the image
                const int64_t c0 = std::max<int64_t>(grid.ColumnStart(j), written.u0);
                const int64_t c1 = std::min<int64_t>(grid.ColumnEnd(j), written.u1);
                const PixelYC mean = cells[j - ja].Mean();
                std::fill(line + written.SourceX(static_cast<int32_t>(c0)),
                          line + written.SourceX(static_cast<int32_t>(c0)) + (c1 - c0), mean);
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
            Sums sums;
            for (int64_t i = std::max<int64_t>(0, r - window.b); i < std::min(window.bottom, r + window.b); ++i) {
                for (int64_t k = std::max<int64_t>(0, c - window.a); k < std::min(window.right, c + window.a); ++k) {
                    sums.Add(source[PixelIndex(k, i, stride)]);
                }
            }
            out[u - map.u0] = sums.Mean();
        }
    });
}

inline void AddColumn(int64_t* sums, const PixelYC& p) {
    sums[0] += p.y;
    sums[1] += p.cb;
    sums[2] += p.cr;
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

private:
    uint32_t& home_;
    uint32_t state_;
};

// An offset in -reach..reach from a draw in 0..32767.
inline int64_t Offset(uint32_t draw, int64_t reach) {
    return static_cast<int64_t>(draw) * (2 * reach + 1) / 32768 - reach;
}

}  // namespace

void Mosaic(CommandCall& call) {
    ImageArguments args;
    if (!args.Read(call, kMosaicArguments)) return;
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

void Defocus(CommandCall& call) {
    ImageArguments args;
    if (!args.Read(call, kDefocusArguments)) return;
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
    const size_t columns = static_cast<size_t>(k1 - k0);
    // Each block's sums live in the own block's row scratch, which holds them for every
    // thread count up to the track bar's maximum.
    int64_t* memory = args.Scratch<int64_t>(columns, 3 * static_cast<size_t>(blocks)).data();
    if (!memory) {
        DefocusDirect(args, map, window, source, destination);
        return;
    }
    const int32_t stride = args.size.width;
    const int32_t rows_per_block = (map.rows() + blocks - 1) / blocks;
    RowLoop(0, blocks, args.threads, [&](int32_t block) {
        int64_t* sums = memory + static_cast<size_t>(block) * columns * 3;
        const int32_t v_begin = map.v0 + block * rows_per_block;
        const int32_t v_end = std::min(map.v1, v_begin + rows_per_block);
        for (int32_t v = v_begin; v < v_end; ++v) {
            const int64_t r = map.SourceY(v);
            if (v == v_begin) {
                std::fill(sums, sums + columns * 3, int64_t{0});
                for (int64_t i = std::max<int64_t>(0, r - window.b); i < std::min(window.bottom, r + window.b); ++i) {
                    const PixelYC* line = source + PixelIndex(k0, i, stride);
                    for (size_t k = 0; k < columns; ++k) AddColumn(sums + 3 * k, line[k]);
                }
            } else {
                // The window moved down one row: row r - 1 - b leaves, row r - 1 + b enters.
                const int64_t leaving = r - 1 - window.b, entering = r - 1 + window.b;
                const PixelYC* out_line = leaving >= 0 ? source + PixelIndex(k0, leaving, stride) : nullptr;
                const PixelYC* in_line = entering < window.bottom ? source + PixelIndex(k0, entering, stride) : nullptr;
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
            for (int64_t k = std::max<int64_t>(0, c_first - window.a); k < std::min(window.right, c_first + window.a); ++k) {
                const int64_t* s = sums + 3 * (k - k0);
                y += s[0];
                cb += s[1];
                cr += s[2];
            }
            PixelYC* out = destination + PixelIndex(map.DestinationX(map.u0), map.DestinationY(v), stride);
            for (int64_t c = c_first;; ++c) {
                const int64_t count = window.Count(c, r);
                *out++ = {Quotient(y, count), Quotient(cb, count), Quotient(cr, count)};
                if (c == c_last) break;  // column c_last + a may lie beyond the sums
                if (c - window.a >= 0) {
                    const int64_t* s = sums + 3 * (c - window.a - k0);
                    y -= s[0];
                    cb -= s[1];
                    cr -= s[2];
                }
                if (c + window.a < window.right) {
                    const int64_t* s = sums + 3 * (c + window.a - k0);
                    y += s[0];
                    cb += s[1];
                    cr += s[2];
                }
            }
        }
    });
}

void Diffuse(CommandCall& call) {
    ImageArguments args;
    if (!args.Read(call, kDiffuseArguments)) return;
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
        RandomDraws random;
        for (int64_t c = c_first; c <= c_last; ++c) {
            const uint32_t column_draw = random.Next();
            const uint32_t row_draw = random.Next();
            const int64_t x = std::clamp<int64_t>(c + Offset(column_draw, rx), 0, right - 1);
            const int64_t y = std::clamp<int64_t>(r + Offset(row_draw, ry), 0, bottom - 1);
            *out++ = source[PixelIndex(x, y, stride)];
        }
    });
}

// The tables, for the registry.
constinit const ArgumentTable kMosaicTable = kMosaicArguments;
constinit const ArgumentTable kDefocusTable = kDefocusArguments;
constinit const ArgumentTable kDiffuseTable = kDiffuseArguments;

}  // namespace kinetra::video
