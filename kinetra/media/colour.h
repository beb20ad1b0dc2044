// Pictures between the codecs' Y'CbCr and the plug-ins' PixelYC. PixelYC is full-range BT.601
// on the 4096 scale (luma 0..4096, colour differences -2048..2048); a file's pictures are
// Y'CbCr of their own matrix and range. The two are related by one linear map, built once per
// pair from the matrices, and applied per pixel in integers: in a portable form, and in vector
// forms chosen by the kernel level that give its bits.
#pragma once

#include <cstdint>
#include <vector>

#include "kinetra/filter_abi.h"

namespace kinetra::media {

// A Y'CbCr colour space: the luma weights of red and blue, and the code range.
struct ColourSpace {
    double kr = 0.299;
    double kb = 0.114;
    bool full_range = false;

    static ColourSpace Bt601(bool full) { return {0.299, 0.114, full}; }
    static ColourSpace Bt709(bool full) { return {0.2126, 0.0722, full}; }
    static ColourSpace Bt2020(bool full) { return {0.2627, 0.0593, full}; }
    bool operator==(const ColourSpace&) const = default;
};

// Three planes of 8-bit samples (or deeper ones, see YcToYuv); the colour planes subsampled by 2^shift_x horizontally and 2^shift_y
// vertically (4:2:0 is 1, 1).
struct PlanarPicture {
    uint8_t* planes[3] = {};
    int strides[3] = {};
    int width = 0;
    int height = 0;
    int shift_x = 0;
    int shift_y = 0;
};

// A PixelYC picture: `width` x `height` pixels in rows of `stride` pixels.
struct YcPicture {
    PixelYC* pixels = nullptr;
    int stride = 0;
    int width = 0;
    int height = 0;
};

// Code values of `space` with `bits` bits (8..16) to PixelYC; above 8 bits the planes hold
// 16-bit samples in the machine's byte order. Colour samples are repeated over the pixels they
// cover, so that the way back (which averages them) gives them back unchanged.
class YuvToYc {
public:
    explicit YuvToYc(const ColourSpace& space, int bits = 8);
    // Fills the first min(width) x min(height) pixels of `dest`.
    void Convert(const PlanarPicture& source, const YcPicture& dest);
    const ColourSpace& space() const { return space_; }
    int bits() const { return bits_; }

private:
    void ConvertDeep(const PlanarPicture& source, const YcPicture& dest, int width, int height) const;

    ColourSpace space_;
    int bits_;
    int32_t coefficient_[3][3];  // 16-bit fraction, applied to the code values
    int32_t bias_[3];
    int64_t deep_coefficient_[3][3];  // the same for `bits`, kept in 64 bits as the way back's
    int64_t deep_bias_[3];
    bool vector_ = false;  // the vector forms give the portable form's bits for these coefficients
    // The colour samples' share of each component for one row of colour samples, worked out
    // once for all the pixels it covers; kept between pictures.
    std::vector<int32_t> colour_terms_;
};

// PixelYC to code values of `space` with `bits` bits (8..16), clamped to 0..2^bits - 1; above 8
// bits the planes hold 16-bit samples in the machine's byte order. A colour sample is the map
// of the mean of the pixels it covers.
class YcToYuv {
public:
    explicit YcToYuv(const ColourSpace& space, int bits = 8);
    void Convert(const YcPicture& source, const PlanarPicture& dest) const;
    int bits() const { return bits_; }

private:
    int bits_;
    int32_t coefficient_[3][3];  // 16-bit fraction, applied to the PixelYC components
    int32_t bias_[3];
    int64_t deep_coefficient_[3][3];  // the same for `bits`, whose sums need 64 bits
    int64_t deep_bias_[3];
    bool vector_ = false;  // the vector forms give the portable form's bits for these coefficients
};

// PixelYC to 8-bit R'G'B' (full range, interleaved), clamped: for pictures that hold RGB.
void YcToRgb24(const YcPicture& source, uint8_t* dest, int dest_stride);

}  // namespace kinetra::media
