// The resampling kernels of resize and rotate: the source rectangle as the sampler sees it,
// resize's two passes and rotate's turned rows, a table each (kernels/table.h).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "kernels/table.h"
#include "kinetra/filter_abi.h"
#include "video/pixels.h"
#include "video/rectangles.h"

namespace kinetra::video {

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

// resize interpolates in two passes: a horizontal one that mixes, in one source row, each
// destination column's two source columns, W = (255 - fx) * c_left + fx * c_right, into a
// widened row, then a vertical one that mixes the widened rows of the two source rows,
// (255 - fy) * W_top + fy * W_bottom. That is BilinearSample's sum regrouped; nothing in it
// wraps (|sum| <= 32768 * 65025), so the result is the same. A widened row serves every
// destination row between its source row and the next, so enlarging widens each source row
// once, not once for each destination row.
constexpr int32_t kWidenedSlack = 2;  // elements the vector forms may write past a widened row's last

// One destination column: its source column and the weights 255 - fx and fx as the low and
// high 16 bits.
struct ResizeColumn {
    int32_t x, weights;
};

// The horizontal pass: for `count` columns whose x lie in [0, width) and never decrease, the
// three components' sums W of each, 24 bits wide, into widened (3 * count elements and the
// slack after them). On the image's last column the right neighbour is the pixel itself.
using MixColumnsForm = void (*)(int32_t* widened, const PixelYC* row, int32_t width, const ResizeColumn* columns,
                                int32_t count);
extern const KernelTable<MixColumnsForm> kMixColumns;
// The vertical pass: the `count` pixels of two widened rows mixed by fy into out.
using MixRowsForm = void (*)(PixelYC* out, const int32_t* top, const int32_t* bottom, int32_t count, int32_t fy);
extern const KernelTable<MixRowsForm> kMixRows;

// What turning a run of a row needs: the source pixels (at the image's coordinates and stride),
// the steps of the positions along a row and the centre they are measured from.
struct TurnedRun {
    const PixelYC* pixels;
    int64_t step_u, step_v, centre_x, centre_y;
    ImageSize size;
};

// Columns [first, end) of a rotated row into out; u, v are at the first. Every position of the
// run has all four neighbours inside the source rectangle and the image: the caller samples
// the edges, where a neighbour is missing.
using TurnForm = void (*)(const TurnedRun& run, PixelYC* out, int64_t first, int64_t end, int64_t u, int64_t v);
extern const KernelTable<TurnForm> kTurn;

}  // namespace kinetra::video
