#include "kinetra/lib/synthetic.h"

namespace kinetra::host {
namespace {

// Eight bars: white, yellow, cyan, green, magenta, red, blue, black, on the 4096 scale.
constexpr PixelYC kBars[8] = {
    {4095, 0, 0},        {3784, -2048, 333},  {2953, 692, -2048}, {2642, -1356, -1715},
    {1453, 1356, 1715},  {1224, -692, 2048},  {311, 2048, -333},  {0, 0, 0},
};

}  // namespace

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
    "[0-47]\n"
    "copy(2,0,0,0,i,j,0,0)\n";

}  // namespace kinetra::host
