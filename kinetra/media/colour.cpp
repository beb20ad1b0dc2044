#include "kinetra/media/colour.h"

#include <algorithm>
#include <cmath>

namespace kinetra::media {
namespace {

using Matrix = double[3][3];

constexpr double kFraction = 65536.0;  // the integer maps' 16-bit fraction
constexpr double kYcScale = 4096.0;

// Normalised Y'CbCr (luma 0..1, colour differences -0.5..0.5) to R'G'B' 0..1.
void RgbFromYcc(const ColourSpace& s, Matrix& m) {
    const double kg = 1.0 - s.kr - s.kb;
    const double cr_to_r = 2.0 * (1.0 - s.kr), cb_to_b = 2.0 * (1.0 - s.kb);
    const double rows[3][3] = {
        {1.0, 0.0, cr_to_r},
        {1.0, -s.kb * cb_to_b / kg, -s.kr * cr_to_r / kg},
        {1.0, cb_to_b, 0.0},
    };
    std::copy(&rows[0][0], &rows[0][0] + 9, &m[0][0]);
}

void YccFromRgb(const ColourSpace& s, Matrix& m) {
    const double kg = 1.0 - s.kr - s.kb;
    const double rows[3][3] = {
        {s.kr, kg, s.kb},
        {-s.kr / (2.0 * (1.0 - s.kb)), -kg / (2.0 * (1.0 - s.kb)), 0.5},
        {0.5, -kg / (2.0 * (1.0 - s.kr)), -s.kb / (2.0 * (1.0 - s.kr))},
    };
    std::copy(&rows[0][0], &rows[0][0] + 9, &m[0][0]);
}

void Multiply(const Matrix& a, const Matrix& b, Matrix& out) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            out[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
        }
    }
}

// Normalised Y'CbCr of `from` to normalised Y'CbCr of `to`, through R'G'B'.
void YccToYcc(const ColourSpace& from, const ColourSpace& to, Matrix& m) {
    Matrix to_rgb, from_rgb;
    RgbFromYcc(from, to_rgb);
    YccFromRgb(to, from_rgb);
    Multiply(from_rgb, to_rgb, m);
}

// A code value of component `c` (0 luma, 1 and 2 colour) is offset + scale × normalised value.
double CodeScale(const ColourSpace& s, int c) { return s.full_range ? 255.0 : c == 0 ? 219.0 : 224.0; }
double CodeOffset(const ColourSpace& s, int c) { return c == 0 ? (s.full_range ? 0.0 : 16.0) : 128.0; }

const ColourSpace kPixelYc = ColourSpace::Bt601(true);

uint8_t ClampToByte(int32_t value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

}  // namespace

YuvToYc::YuvToYc(const ColourSpace& space) {
    Matrix m;
    YccToYcc(space, kPixelYc, m);
    for (int i = 0; i < 3; ++i) {
        double bias = 0.5 * kFraction;
        for (int j = 0; j < 3; ++j) {
            const double per_code = kYcScale * m[i][j] / CodeScale(space, j) * kFraction;
            coefficient_[i][j] = static_cast<int32_t>(std::lround(per_code));
            bias -= per_code * CodeOffset(space, j);
        }
        bias_[i] = static_cast<int32_t>(std::lround(bias));
    }
}

void YuvToYc::Convert(const PlanarPicture& source, const YcPicture& dest) {
    const int width = std::min(source.width, dest.width);
    const int height = std::min(source.height, dest.height);
    if (width <= 0 || height <= 0) return;
    const int32_t(&k)[3][3] = coefficient_;
    const int samples = ((width - 1) >> source.shift_x) + 1;
    colour_terms_.resize(3 * static_cast<size_t>(samples));
    int32_t* terms = colour_terms_.data();
    for (int y = 0; y < height; ++y) {
        if (y == 0 || (y >> source.shift_y) != ((y - 1) >> source.shift_y)) {
            const ptrdiff_t row = static_cast<ptrdiff_t>(y >> source.shift_y);
            const uint8_t* cb = source.planes[1] + row * source.strides[1];
            const uint8_t* cr = source.planes[2] + row * source.strides[2];
            for (int c = 0; c < samples; ++c) {
                for (int i = 0; i < 3; ++i) terms[3 * c + i] = k[i][1] * cb[c] + k[i][2] * cr[c] + bias_[i];
            }
        }
        const uint8_t* luma = source.planes[0] + static_cast<ptrdiff_t>(y) * source.strides[0];
        PixelYC* out = dest.pixels + static_cast<ptrdiff_t>(y) * dest.stride;
        for (int x = 0; x < width; ++x) {
            const int32_t* t = terms + 3 * (x >> source.shift_x);
            const int32_t l = luma[x];
            out[x].y = static_cast<int16_t>((k[0][0] * l + t[0]) >> 16);
            out[x].cb = static_cast<int16_t>((k[1][0] * l + t[1]) >> 16);
            out[x].cr = static_cast<int16_t>((k[2][0] * l + t[2]) >> 16);
        }
    }
}

YcToYuv::YcToYuv(const ColourSpace& space) {
    Matrix m;
    YccToYcc(kPixelYc, space, m);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            coefficient_[i][j] = static_cast<int32_t>(std::lround(CodeScale(space, i) * m[i][j] / kYcScale * kFraction));
        }
        bias_[i] = static_cast<int32_t>(std::lround((CodeOffset(space, i) + 0.5) * kFraction));
    }
}

void YcToYuv::Convert(const YcPicture& source, const PlanarPicture& dest) const {
    const int width = std::min(source.width, dest.width);
    const int height = std::min(source.height, dest.height);
    const int32_t(&k)[3][3] = coefficient_;
    // The PixelYC values are 16-bit, the coefficients below 2^15: every product fits 32 bits.
    for (int y = 0; y < height; ++y) {
        const PixelYC* in = source.pixels + static_cast<ptrdiff_t>(y) * source.stride;
        uint8_t* luma = dest.planes[0] + static_cast<ptrdiff_t>(y) * dest.strides[0];
        for (int x = 0; x < width; ++x) {
            luma[x] = ClampToByte((k[0][0] * in[x].y + k[0][1] * in[x].cb + k[0][2] * in[x].cr + bias_[0]) >> 16);
        }
    }
    const int block_w = 1 << dest.shift_x, block_h = 1 << dest.shift_y;
    for (int cy = 0; cy * block_h < height; ++cy) {
        uint8_t* cb_row = dest.planes[1] + static_cast<ptrdiff_t>(cy) * dest.strides[1];
        uint8_t* cr_row = dest.planes[2] + static_cast<ptrdiff_t>(cy) * dest.strides[2];
        const int rows = std::min(block_h, height - cy * block_h);
        for (int cx = 0; cx * block_w < width; ++cx) {
            const int columns = std::min(block_w, width - cx * block_w);
            int32_t sum_y = 0, sum_cb = 0, sum_cr = 0;
            for (int r = 0; r < rows; ++r) {
                const PixelYC* in = source.pixels + static_cast<ptrdiff_t>(cy * block_h + r) * source.stride + cx * block_w;
                for (int c = 0; c < columns; ++c) {
                    sum_y += in[c].y;
                    sum_cb += in[c].cb;
                    sum_cr += in[c].cr;
                }
            }
            // The mean's map is the map of the sums divided by their count, kept in 64 bits.
            const int64_t count = rows * columns;
            const int64_t cb = (int64_t{k[1][0]} * sum_y + int64_t{k[1][1]} * sum_cb + int64_t{k[1][2]} * sum_cr) / count;
            const int64_t cr = (int64_t{k[2][0]} * sum_y + int64_t{k[2][1]} * sum_cb + int64_t{k[2][2]} * sum_cr) / count;
            cb_row[cx] = ClampToByte(static_cast<int32_t>((cb + bias_[1]) >> 16));
            cr_row[cx] = ClampToByte(static_cast<int32_t>((cr + bias_[2]) >> 16));
        }
    }
}

void YcToRgb24(const YcPicture& source, uint8_t* dest, int dest_stride) {
    Matrix m;
    RgbFromYcc(kPixelYc, m);
    int32_t k[3][3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) k[i][j] = static_cast<int32_t>(std::lround(255.0 * m[i][j] / kYcScale * kFraction));
    }
    constexpr int32_t kHalf = 1 << 15;
    for (int y = 0; y < source.height; ++y) {
        const PixelYC* in = source.pixels + static_cast<ptrdiff_t>(y) * source.stride;
        uint8_t* out = dest + static_cast<ptrdiff_t>(y) * dest_stride;
        for (int x = 0; x < source.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                out[3 * x + c] = ClampToByte((k[c][0] * in[x].y + k[c][1] * in[x].cb + k[c][2] * in[x].cr + kHalf) >> 16);
            }
        }
    }
}

}  // namespace kinetra::media
