// The image model every command of the image plug-in shares: argument tables and the command
// frame, clipping, the parallel row loop, pixel arithmetic and colour conversion.
//
// A buffer is max_height rows of max_width PixelYC with stride max_width; commands address and
// clip against that whole area. Pixel values wrap: "32-bit signed" arithmetic is done in
// uint32_t (modulo 2^32, as on x86) and a result is stored as its low 16 bits.
//
// A handler reads:
//
//     constexpr ArgumentSpec kCopyArguments[] = {
//         Buffer(1, "source"), Buffer(2, "destination"), Integer(3, "sx"), Integer(4, "sy"),
//         Width(5, "w"), Height(6, "h"), Integer(7, "dx"), Integer(8, "dy")};
//
//     void Copy(CommandCall& call) {
//         CommandFrame f;
//         if (!f.Read(call, kCopyArguments)) return;   // bad buffer or size: nothing happens
//         RectangleMap map(f[3], f[4], f[5], f[6], f.size);
//         map.Destination(f[7], f[8]);
//         if (map.empty()) return;
//         const PixelYC* source = ReadBeforeWriting(f, f.Image(1), f.Image(2), map.SourceRegion(),
//                                                   map.DestinationRegion());
//         RowLoop(map.v0, map.rows(), f.threads, [&](int32_t v) { ... });
//     }
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

// The pixel kernels use SSE2, which every x86 build here has; the portable form of each is
// kept beside it, for other processors, and tested in a build of its own.
#if defined(__SSE2__) && !defined(KINETRA_PORTABLE_KERNELS)
#define KINETRA_VECTOR_KERNELS 1
#include <emmintrin.h>
#endif

#include "host/buffers.h"
#include "host/float_env.h"
#include "kinetra/filter_abi.h"
#include "script/arguments.h"
#include "script/script.h"

namespace kinetra::video {

// ---------------------------------------------------------------------------------------------
// Arguments

enum class Conversion : uint8_t {
    kTruncate,   // toward zero
    kRoundDown,  // frame numbers: floor first
    kFraction,   // x 4096.0, then toward zero
};

enum class Role : uint8_t {
    kValue,
    kBuffer,  // 0..9 with a buffer behind it, else the command does nothing
    kWidth,   // below 1: nothing; then at most max_width
    kHeight,  // below 1: nothing; then at most max_height
};

// One row of a command's argument table. `number` is the argument's 1-based position.
struct ArgumentSpec {
    int number;
    const char* meaning;
    Conversion conversion = Conversion::kTruncate;
    Role role = Role::kValue;
};

constexpr ArgumentSpec Integer(int n, const char* meaning) { return {n, meaning}; }
constexpr ArgumentSpec FrameNumber(int n, const char* meaning) {
    return {n, meaning, Conversion::kRoundDown};
}
constexpr ArgumentSpec Fraction(int n, const char* meaning) {
    return {n, meaning, Conversion::kFraction};
}
constexpr ArgumentSpec Buffer(int n, const char* meaning) {
    return {n, meaning, Conversion::kTruncate, Role::kBuffer};
}
constexpr ArgumentSpec Width(int n, const char* meaning) {
    return {n, meaning, Conversion::kTruncate, Role::kWidth};
}
constexpr ArgumentSpec Height(int n, const char* meaning) {
    return {n, meaning, Conversion::kTruncate, Role::kHeight};
}

// The size every buffer has this frame.
struct ImageSize {
    int32_t width = 0;   // max_width, the row stride
    int32_t height = 0;  // max_height
};

// What a handler works with once its arguments are converted and checked on the calling
// thread: the integers by argument number, the buffers, the image size and the thread count.
struct CommandFrame {
    CommandCall* call = nullptr;
    ImageSize size;
    int threads = 1;
    int32_t value[kScriptArguments + 1] = {};  // value[n] is argument n; value[0] unused

    // Converts the arguments of `table` in order and checks buffer numbers and sizes. False
    // when the command must do nothing: a buffer number outside 0..9 or without a buffer, a
    // width or height below 1, or an image of no pixels. Sizes come back clamped.
    bool Read(CommandCall& command, std::span<const ArgumentSpec> table);

    int32_t operator[](int number) const { return value[number]; }
    // The buffer a checked buffer-number argument names.
    PixelYC* Image(int number) const;

    // `count` x `times` elements of the own block's row scratch, or none when it has no room
    // for them (or the product does not fit a size). Nothing in it outlives the command.
    template <typename T>
    std::span<T> Scratch(size_t count, size_t times = 1) const {
        static_assert(alignof(T) <= alignof(int64_t));
        const BufferTable& buffers = call->buffers;
        size_t elements = 0;
        if (!buffers.row_scratch || __builtin_mul_overflow(count, times, &elements) ||
            elements > buffers.row_scratch_bytes / sizeof(T)) {
            return {};
        }
        return {static_cast<T*>(buffers.row_scratch), elements};
    }
};

// ---------------------------------------------------------------------------------------------
// Small integer helpers

// 0 below 0, limit above limit.
template <typename T>
constexpr T ClampToLimit(T value, T limit) {
    return value < 0 ? T{0} : (value > limit ? limit : value);
}
// 1 below 1, limit above limit.
template <typename T>
constexpr T ClampSize(T value, T limit) {
    return value < 1 ? T{1} : (value > limit ? limit : value);
}

// The low 16 bits of an integer result, as the signed value a component stores.
constexpr int16_t Low16(uint32_t value) {
    return static_cast<int16_t>(static_cast<uint16_t>(value));
}
constexpr int16_t Low16(int64_t value) { return Low16(static_cast<uint32_t>(value)); }
constexpr int16_t Low16(int32_t value) { return Low16(static_cast<uint32_t>(value)); }

// A 32-bit result read as signed, shifted right with sign (rounds toward minus infinity).
constexpr int32_t ShiftRight(uint32_t value, int bits) {
    return static_cast<int32_t>(value) >> bits;
}

// Element index of pixel (x, y); both must lie inside the image.
constexpr size_t PixelIndex(int64_t x, int64_t y, int32_t stride) {
    return static_cast<size_t>(y) * static_cast<size_t>(stride) + static_cast<size_t>(x);
}

// ---------------------------------------------------------------------------------------------
// Rectangles and clipping

// A half-open area of one buffer: columns [x0, x1), rows [y0, y1), inside the image.
struct Region {
    int32_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
    int32_t columns() const { return x1 - x0; }
    int32_t rows() const { return y1 - y0; }
};

bool Overlap(const Region& a, const Region& b);
Region Union(const Region& a, const Region& b);

// The in-place commands' clip: a (x0, y0, w, h) rectangle limited to the image. The sums are
// taken in 64 bits, so any arguments are safe.
Region ClipRegion(int32_t x0, int32_t y0, int32_t w, int32_t h, ImageSize size);

enum class Mirror : uint8_t { kNone, kTopToBottom, kLeftToRight };

// A source rectangle mapped onto other corners (destination, key, mask). A position at offset
// (u, v) from the source corner is processed only when every mapped position lies inside the
// image; those offsets form one rectangle, [u0, u1) x [v0, v1), computed here once in 64 bits
// instead of testing each pixel. The result is the same as the per-pixel test.
class RectangleMap {
public:
    RectangleMap(int32_t sx, int32_t sy, int32_t w, int32_t h, ImageSize size);

    // The destination corner; a mirrored destination fills the same rectangle reversed.
    void Destination(int32_t dx, int32_t dy, Mirror mirror = Mirror::kNone);
    // Another rectangle read at the same offsets (a key or a mask).
    void Also(int32_t kx, int32_t ky);

    bool empty() const { return u0 >= u1 || v0 >= v1; }
    Mirror mirror() const { return mirror_; }
    int32_t columns() const { return u1 - u0; }
    int32_t rows() const { return v1 - v0; }

    // Positions of a visible offset (always inside the image).
    int32_t SourceX(int32_t u) const { return static_cast<int32_t>(int64_t{sx_} + u); }
    int32_t SourceY(int32_t v) const { return static_cast<int32_t>(int64_t{sy_} + v); }
    int32_t DestinationX(int32_t u) const;
    int32_t DestinationY(int32_t v) const;
    int32_t AlsoX(int32_t kx, int32_t u) const { return static_cast<int32_t>(int64_t{kx} + u); }
    int32_t AlsoY(int32_t ky, int32_t v) const { return static_cast<int32_t>(int64_t{ky} + v); }

    // The visible parts, as areas of their buffers.
    Region SourceRegion() const;
    Region DestinationRegion() const;
    Region AlsoRegion(int32_t kx, int32_t ky) const;

    int32_t u0 = 0, u1 = 0, v0 = 0, v1 = 0;

private:
    void Keep(int64_t lo_u, int64_t hi_u, int64_t lo_v, int64_t hi_v);

    int32_t sx_, sy_, w_, h_;
    int32_t dx_ = 0, dy_ = 0;
    Mirror mirror_ = Mirror::kNone;
    ImageSize size_;
};

// ---------------------------------------------------------------------------------------------
// The parallel row loop

// Calls row(r) for r = first .. first + count - 1 on `threads` threads (the caller is one),
// rows split into one contiguous block per thread, each block top to bottom; returns when all
// are done. Each worker installs the default floating-point environment first. An empty range
// starts nothing.
template <typename RowWork>
void RowLoop(int32_t first, int32_t count, int threads, RowWork&& row) {
    if (count <= 0 || int64_t{first} + count - 1 > INT32_MAX) return;
    const int32_t end = first + (count - 1);
    const int team = std::max(threads, 1);
#pragma omp parallel num_threads(team)
    {
        InstallDefaultFloatEnv();
#pragma omp for schedule(static)
        for (int64_t r = first; r <= end; ++r) row(static_cast<int32_t>(r));
    }
}

// Where a command reads `source` while it writes `region_written` of `destination`: the buffer
// itself, or, when it is the destination and `region_read` meets `region_written`, the work
// area, holding a copy of `region_read` at the same coordinates (copied in parallel). Either
// way the result is as if the whole source had been read before the first write.
const PixelYC* ReadBeforeWriting(const CommandFrame& f, const PixelYC* source,
                                 const PixelYC* destination, const Region& region_read,
                                 const Region& region_written);

// The same for a command that reads two rectangles (source and key, or source and mask) while
// writing one: each pointer that names the destination and meets the written region is
// replaced by the work area, which then holds both read regions if both need it.
void ReadBeforeWriting(const CommandFrame& f, const PixelYC*& first, const Region& first_read,
                       const PixelYC*& second, const Region& second_read,
                       const PixelYC* destination, const Region& region_written);

// One visible row of a mapped rectangle: pointers to its first visible pixel in each buffer.
// A destination mirrored left to right runs backwards (step -1).
struct MappedRow {
    const PixelYC* source;
    PixelYC* destination;
    const PixelYC* also;  // key or mask; null when the command has none
    int32_t count;
    int32_t step;  // +1, or -1 for a left-to-right mirror
};

// Runs row(MappedRow) for every visible row of `map` in RowLoop. `also` is read at (ax, ay).
template <typename Work>
void ForEachMappedRow(const CommandFrame& f, const RectangleMap& map, const PixelYC* source,
                      PixelYC* destination, const PixelYC* also, int32_t ax, int32_t ay,
                      Work&& row) {
    if (map.empty()) return;
    const int32_t stride = f.size.width;
    const int32_t step = map.mirror() == Mirror::kLeftToRight ? -1 : 1;
    RowLoop(map.v0, map.rows(), f.threads, [&](int32_t v) {
        MappedRow r;
        r.source = source + PixelIndex(map.SourceX(map.u0), map.SourceY(v), stride);
        r.destination =
            destination + PixelIndex(map.DestinationX(map.u0), map.DestinationY(v), stride);
        r.also =
            also ? also + PixelIndex(map.AlsoX(ax, map.u0), map.AlsoY(ay, v), stride) : nullptr;
        r.count = map.columns();
        r.step = step;
        row(r);
    });
}

// ---------------------------------------------------------------------------------------------
// Pixel arithmetic

// `taken` where `take` holds, else `kept`, without a branch: on pictures where a threshold
// splits neighbouring pixels at random, a branch per pixel costs more than the pixel.
inline PixelYC Select(bool take, const PixelYC& taken, const PixelYC& kept) {
    const int16_t mask = static_cast<int16_t>(-static_cast<int16_t>(take));
    auto pick = [mask](int16_t a, int16_t b) {
        return static_cast<int16_t>((a & mask) | (b & ~mask));
    };
    return {pick(taken.y, kept.y), pick(taken.cb, kept.cb), pick(taken.cr, kept.cr)};
}

// (s * a + d * (4096 - a)) >> 12 in wrapping 32-bit arithmetic, stored as 16 bits.
inline int16_t Blend(int16_t s, int16_t d, uint32_t a) {
    const uint32_t mix = static_cast<uint32_t>(s) * a + static_cast<uint32_t>(d) * (4096u - a);
    return Low16(ShiftRight(mix, 12));
}

// The same for an opacity that fits 16 bits, written as s*a + d*4096 - d*a so that every
// product is of two 16-bit values (which vectorises); equal to Blend modulo 2^32.
inline int16_t BlendNarrow(int16_t s, int16_t d, int16_t a) {
    const uint32_t mix = static_cast<uint32_t>(int32_t{s} * a) + (static_cast<uint32_t>(d) << 12) -
                         static_cast<uint32_t>(int32_t{d} * a);
    return Low16(ShiftRight(mix, 12));
}
constexpr bool FitsInt16(int32_t v) { return v >= INT16_MIN && v <= INT16_MAX; }

// Interpolates four neighbours with weights (255 - f, f) per axis in 1/256 units; the sum is
// shifted right by 16 with sign, so a uniform area keeps 65025/65536 of its value.
inline PixelYC BilinearSample(int32_t fx, int32_t fy, const PixelYC& p00, const PixelYC& p10,
                              const PixelYC& p01, const PixelYC& p11) {
    const uint32_t ax = static_cast<uint32_t>(255 - int64_t{fx}), bx = static_cast<uint32_t>(fx);
    const uint32_t ay = static_cast<uint32_t>(255 - int64_t{fy}), by = static_cast<uint32_t>(fy);
    auto mix = [&](int16_t c00, int16_t c10, int16_t c01, int16_t c11) {
        const uint32_t top = static_cast<uint32_t>(c00) * ax + static_cast<uint32_t>(c10) * bx;
        const uint32_t bottom = static_cast<uint32_t>(c01) * ax + static_cast<uint32_t>(c11) * bx;
        return Low16(ShiftRight(top * ay + bottom * by, 16));
    };
    return {mix(p00.y, p10.y, p01.y, p11.y), mix(p00.cb, p10.cb, p01.cb, p11.cb),
            mix(p00.cr, p10.cr, p01.cr, p11.cr)};
}

#if defined(KINETRA_VECTOR_KERNELS)
// A pixel's three components in the low 16-bit lanes, reading its six bytes and no more.
inline __m128i LoadPixel(const PixelYC* p) {
    int32_t y_cb;
    memcpy(&y_cb, p, sizeof y_cb);
    return _mm_insert_epi16(_mm_cvtsi32_si128(y_cb), p->cr, 2);
}
// The three low 16-bit lanes stored as a pixel, writing its six bytes and no more.
inline void StorePixel(PixelYC* p, __m128i lanes) {
    const int32_t y_cb = _mm_cvtsi128_si32(lanes);
    memcpy(p, &y_cb, sizeof y_cb);
    p->cr = static_cast<int16_t>(_mm_extract_epi16(lanes, 2));
}
#endif

// BilinearSample of p[0], p[right], p[down], p[down + right] (fractions 0..255), stored at *out.
// The sum is that of the four neighbours c times weights w = (255 - f or f) x (255 - f or f),
// which lies within +-32768 * 65025 < 2^31 and so needs no wrapping. With SSE2 it is formed by
// 16-bit multiply-adds: w reaches 65025, past a signed 16-bit factor, but w - 32768 does not,
// and sum c * w = sum c * (w - 32768) + 32768 * sum c.
inline void BilinearSampleAt(PixelYC* out, const PixelYC* p, size_t right, size_t down, int32_t fx,
                             int32_t fy) {
#if defined(KINETRA_VECTOR_KERNELS)
    // Each row's pair of neighbours interleaved per component: c0.y c1.y c0.cb c1.cb c0.cr c1.cr.
    const __m128i top = _mm_unpacklo_epi16(LoadPixel(p), LoadPixel(p + right));
    const __m128i bottom = _mm_unpacklo_epi16(LoadPixel(p + down), LoadPixel(p + down + right));
    // A row's weights are (255 - fx, fx) times that row's 255 - fy or fy: one multiply of the
    // pair held as two 16-bit halves (no product passes 65025, so none carries into the next
    // half); flipping each half's top bit subtracts 32768 from it.
    const uint32_t across = static_cast<uint32_t>(255 - fx) | static_cast<uint32_t>(fx) << 16;
    auto row = [across](int32_t f) {
        const uint32_t weights = across * static_cast<uint32_t>(f);
        return _mm_set1_epi32(static_cast<int32_t>(weights ^ 0x80008000u));
    };
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i biased =
        _mm_add_epi32(_mm_madd_epi16(top, row(255 - fy)), _mm_madd_epi16(bottom, row(fy)));
    const __m128i sums = _mm_add_epi32(_mm_madd_epi16(top, ones), _mm_madd_epi16(bottom, ones));
    const __m128i result = _mm_srai_epi32(_mm_add_epi32(biased, _mm_slli_epi32(sums, 15)), 16);
    StorePixel(out, _mm_packs_epi32(result, result));  // each fits 16 bits: no saturation
#else
    *out = BilinearSample(fx, fy, p[0], p[right], p[down], p[down + right]);
#endif
}

// ---------------------------------------------------------------------------------------------
// Colour conversion: BT.601 coefficients rounded to three decimals, in double precision, each
// result truncated toward zero. The order of the terms is fixed; it decides the last bit.

struct RGB {
    int32_t r, g, b;
};

// Not clamped: the result is on the luma scale (0..4096 for nominal colours).
inline RGB YCToRGB(const PixelYC& p) {
    const double y = p.y, cb = p.cb, cr = p.cr;
    return {TruncateToInt32(y + 1.402 * cr), TruncateToInt32(y - 0.344 * cb - 0.714 * cr),
            TruncateToInt32(y + 1.772 * cb)};
}

// Each sum is multiplied by `scale` before truncation: 1.0 for values on the luma scale,
// 1/4096 for values a command scaled by 4096. Stored as low 16 bits.
inline PixelYC RGBToYC(double r, double g, double b, double scale = 1.0) {
    const double y = ((0.587 * g + 0.299 * r) + 0.114 * b) * scale;
    const double cb = (0.5 * b - (0.331 * g + 0.169 * r)) * scale;
    const double cr = ((0.5 * r - 0.419 * g) - 0.081 * b) * scale;
    return {Low16(TruncateToInt32(y)), Low16(TruncateToInt32(cb)), Low16(TruncateToInt32(cr))};
}

constexpr double kInverse4096 = 1.0 / 4096.0;  // 0.000244140625, exact

}  // namespace kinetra::video
