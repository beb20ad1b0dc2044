#include "kinetra/editor/synthetic.h"

#include <cstdint>

namespace kinetra::editor {
namespace {

// Eight bars: white, yellow, cyan, green, magenta, red, blue, black, on the 4096 scale.
constexpr PixelYC kBars[8] = {
    {4095, 0, 0},        {3784, -2048, 333},  {2953, 692, -2048}, {2642, -1356, -1715},
    {1453, 1356, 1715},  {1224, -692, 2048},  {311, 2048, -333},  {0, 0, 0},
};

// One period of a sine-like wave, as a parabola per half period: phase 0..65535 in, -1..1 out
// scaled by `amplitude`. Integer only, so no build's maths library can change a sample.
int16_t ParabolicWave(uint32_t phase, int32_t amplitude) {
    const int64_t t = phase & 0x7FFF;  // position in the half period
    const int64_t magnitude = 4 * amplitude * t * (0x8000 - t) >> 30;
    return static_cast<int16_t>(phase & 0x8000 ? -magnitude : magnitude);
}

// Phase 0..65535 of a tone of `hertz` (a whole number) at sample `n`: the phase repeats every
// second, so only the sample's place within its second matters.
uint32_t TonePhase(int64_t n, int32_t hertz, int32_t sampling_rate) {
    int64_t within = n % sampling_rate;
    if (within < 0) within += sampling_rate;
    return static_cast<uint32_t>(within * hertz * 65536 / sampling_rate) & 0xFFFF;
}

}  // namespace

int64_t SyntheticClip::FirstSample(int32_t frame) const { return timing().FirstSample(frame); }

int32_t SyntheticClip::SampleCount(int32_t frame) const { return timing().SampleCount(frame); }

void DrawSyntheticSound(int16_t* dest, int64_t first, int32_t count, int32_t sampling_rate) {
    constexpr int32_t kAmplitude = 32767 / 3;
    for (int32_t k = 0; k < count; ++k) {
        const int64_t n = first + k;
        dest[2 * k] = sampling_rate > 0 ? ParabolicWave(TonePhase(n, 440, sampling_rate), kAmplitude) : 0;
        dest[2 * k + 1] = sampling_rate > 0 ? ParabolicWave(TonePhase(n, 660, sampling_rate), kAmplitude) : 0;
    }
}

void DrawSyntheticFrame(Image& image, int32_t width, int32_t height, int32_t frame) {
    const int32_t bar_rows = height * 2 / 3;
    const int32_t square = height / 6 > 0 ? height / 6 : 1;
    const int32_t square_x = width > square ? (frame * 4) % (width - square) : 0;
    const int32_t square_y = height / 2 - square / 2;
    for (int32_t y = 0; y < height && y < image.max_height; ++y) {
        for (int32_t x = 0; x < width && x < image.max_width; ++x) {
            PixelYC pixel;
            if (y < bar_rows) {
                pixel = kBars[((x + frame) % width) * 8 / width];
            } else {
                pixel = {static_cast<int16_t>(x * 4096 / width), 0, 0};
            }
            if (x >= square_x && x < square_x + square && y >= square_y && y < square_y + square) {
                pixel = {4096, 0, 0};
            }
            image.at(x, y) = pixel;
        }
    }
}

const char kDemoScript[] =
    "# The built-in demo: the synthetic clip (48 frames of 320x180) with a trail, a turning\n"
    "# picture in the picture, a disc that crosses the ramp and a mosaic at the end; a fade-in\n"
    "# and a low tone on the sound.\n"
    "# i and j are the image size, g the frames since the range began, n its length, p is pi.\n"
    "[0-47]\n"
    "copyframe(2,f-1,0,0,i,j,0,0)\n"
    "alpha(2,0,0,0,i,j,0,0,0.33)\n"
    "resize(0,3,0,0,i,j,0,0,i/3,j/3)\n"
    "rotate(3,0,2*p*g/n,0,0,i/3,j/3,i*5/8,j/16)\n"
    "ellipse(0,g*i/n,j*5/6,20,12,3500,-600,1200)\n"
    "[36-47]\n"
    "mosaic(0,0,0,0,i,j*2/3,0,0,2+g,2+g)\n"
    "[0-11]\n"
    "# The sound fades in over the first half second, and a low square tone joins the mosaic.\n"
    "a_volume(0,g/n,(g+1)/n,0)\n"
    "[36-47]\n"
    "a_tone(2,110,1,0.1)\n"
    "a_blend(2,0)\n";

}  // namespace kinetra::editor
