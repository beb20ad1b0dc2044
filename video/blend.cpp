// mkmask, mkmask_rgb: a rectangle turned into a two-valued mask by a box of colour ranges.
// alpha, alpha2, alpha3, alpha4: a rectangle blended over another with an opacity that is
// constant, gated by the source's or a key's luma, or read from a mask per pixel.
#include "video/compositing.h"

#include "video/arguments.h"
#include "video/color_space.h"
#include "video/kernels/blend.h"
#include "video/pixels.h"
#include "video/rectangles.h"

namespace kinetra::video {
namespace {


// A constant opacity with a gate: the 16-bit arithmetic when the opacity fits.
template <typename Pass>
void BlendRowConstant(const MappedRow& r, int32_t a, Pass pass) {
    const PixelYC* key = r.also ? r.also : r.source;
    if (FitsInt16(a)) {
        const int16_t narrow = static_cast<int16_t>(a);
        BlendRowGated(
            r.source, key, r.destination, r.count, [narrow](int16_t) { return narrow; }, pass);
    } else {
        const uint32_t wide = static_cast<uint32_t>(a);
        BlendRowGated(
            r.source, key, r.destination, r.count, [wide](int16_t) { return wide; }, pass);
    }
}

// alpha2 and alpha3: blended where the key row's luma (the source's, when there is no key) is
// above the threshold.
void BlendRowAbove(const MappedRow& r, int32_t a, int32_t threshold) {
    if (FitsInt16(a) && FitsInt16(4096 - a) && FitsInt16(threshold)) {
        return kBlendRowAbove(r.source, r.also ? r.also : r.source, r.destination, r.count, static_cast<int16_t>(a),
                              static_cast<int16_t>(threshold));
    }
    BlendRowConstant(r, a, [threshold](int16_t, int16_t key_y) { return key_y > threshold; });
}

// mkmask and mkmask_rgb differ only in the three components they test.
template <typename MaskRow>
void MakeMaskWith(const ImageArguments& args, MaskRow mask_row) {
    const ColourBox box{{args[9], args[10], args[11]}, {args[12], args[13], args[14]}};
    const int16_t inside = Low16(args[15]), outside = Low16(args[16]);
    const MappedPlan plan(args, {args[3], args[4], args[5], args[6], args[7], args[8]}, args.Image(1), args.Image(2));
    ForEachMappedRow(args, plan, [&](const MappedRow& r) { mask_row(r, box, inside, outside); });
}

}  // namespace

void MakeMask(const ImageArguments& args) {
    MakeMaskWith(args, [](const MappedRow& r, const ColourBox& box, int16_t inside, int16_t outside) {
        const PixelYC* source = r.source;
        WriteMask(r.destination, r.count, inside, outside, [&](int32_t i) {
            return box.Contains(source[i].y, source[i].cb, source[i].cr);
        });
    });
}

void MakeMaskRGB(const ImageArguments& args) {
    const MaskOfBlockForm mask_of_block = kMaskOfBlock.Active();
    MakeMaskWith(args, [mask_of_block](const MappedRow& r, const ColourBox& box, int16_t inside, int16_t outside) {
        ForEachRGBBlock(r.source, r.count, [&](const RGBBlock& c, int32_t offset, int32_t n) {
            mask_of_block(c, n, box, inside, outside, r.destination + offset);
        });
    });
}

void Alpha(const ImageArguments& args) {
    const int32_t a = args[9];
    const MappedPlan plan(args, {args[3], args[4], args[5], args[6], args[7], args[8]}, args.Image(1), args.Image(2));
    ForEachMappedRow(
        args, plan, [a, blend_narrow = kBlendRowNarrow.Active()](const MappedRow& r) {
            if (FitsInt16(a) && FitsInt16(4096 - a)) {
                blend_narrow(r.source, r.destination, r.count, static_cast<int16_t>(a));
            } else {
                BlendRowConstant(r, a, [](int16_t, int16_t) { return true; });
            }
        });
}

void AlphaAboveLuma(const ImageArguments& args) {
    const int32_t a = args[9], threshold = args[10];
    const MappedPlan plan(args, {args[3], args[4], args[5], args[6], args[7], args[8]}, args.Image(1), args.Image(2));
    ForEachMappedRow(args, plan, [a, threshold](const MappedRow& r) { BlendRowAbove(r, a, threshold); });
}

void AlphaWhereKey(const ImageArguments& args) {
    const int32_t a = args[12], threshold = args[13];
    const MappedPlan plan(args, {args[4], args[5], args[6], args[7], args[8], args[9]}, args.Image(1),
                          args.Image(2), {args.Image(3), args[10], args[11]});
    ForEachMappedRow(args, plan, [a, threshold](const MappedRow& r) { BlendRowAbove(r, a, threshold); });
}

// The mask's luma is a 16-bit opacity, so the 16-bit form always applies.
void AlphaFromMask(const ImageArguments& args) {
    const MappedPlan plan(args, {args[4], args[5], args[6], args[7], args[8], args[9]}, args.Image(1),
                          args.Image(2), {args.Image(3), args[10], args[11]});
    ForEachMappedRow(args, plan,
                     [](const MappedRow& r) {
                         BlendRowGated(
                             r.source, r.also, r.destination, r.count,
                             [](int16_t mask_y) { return mask_y; },
                             [](int16_t, int16_t) { return true; });
                     });
}

}  // namespace kinetra::video
