// font and text: a string drawn by the platform's text renderer as coverage on a surface the
// size of the buffers, then blended into a buffer in the font's colour.
//
// Only the area the renderer reports is cleared and blended: the rest of the surface is 0,
// which leaves a buffer pixel as it was, so a line of text costs its own area, not the frame's.
#include <cstring>

#include "host/buffers.h"
#include "host/parallel.h"
#include "platform/platform.h"
#include "video/arguments.h"
#include "video/effects.h"
#include "video/pixels.h"

namespace kinetra::video {
namespace {

// What font stores for the text commands that follow; all zero until the first font or text.
struct FontSettings {
    char face_name[kScriptTextSize];  // Shift-JIS
    int32_t cell_height;              // 0: no font chosen yet
    int32_t bold, italic, underline;
    int32_t text_y, text_cb, text_cr;
};

// The coverage surface, max_width x max_height, and the area the last string covered (the
// only place where it is not 0).
struct TextCanvas {
    uint8_t* pixels = nullptr;
    ImageSize size;
    CoverageBox drawn;

    CoverageSurface surface() const { return {pixels, size.width, size.height}; }

    // A surface of `wanted`'s size, made (again) when it has none or another size; false when
    // it cannot be made, and the next text tries again.
    bool Fit(ImageSize wanted) {
        if (pixels && size.width == wanted.width && size.height == wanted.height) return true;
        Release();
        size_t bytes = 0;
        if (!MultiplySizes(static_cast<size_t>(wanted.width), static_cast<size_t>(wanted.height), bytes)) return false;
        pixels = static_cast<uint8_t*>(CurrentPlatform().AllocateZeroed(bytes));
        if (!pixels) return false;
        size = wanted;
        return true;
    }

    // Back to all 0 for the next string.
    void ClearDrawn() {
        if (drawn.empty()) return;
        const size_t columns = static_cast<size_t>(drawn.x1 - drawn.x0);
        for (int32_t r = drawn.y0; r < drawn.y1; ++r) memset(pixels + PixelIndex(drawn.x0, r, size.width), 0, columns);
        drawn = {};
    }

    void Release() {
        if (pixels) CurrentPlatform().Release(pixels);
        *this = {};
    }
};

FontSettings font_settings;
TextCanvas text_canvas;

// "ＭＳ ゴシック", the face of the first text when no font came before it.
constexpr char kDefaultFace[] = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";
constexpr int32_t kDefaultCellHeight = 32;

// The area a renderer reports, kept inside the surface whatever it says.
CoverageBox InsideSurface(CoverageBox box, ImageSize size) {
    box = {std::max(box.x0, 0), std::min(box.x1, size.width), std::max(box.y0, 0), std::min(box.y1, size.height)};
    return box.empty() ? CoverageBox{} : box;
}

// v (255 - a) + t a, shifted right by 8 with sign, in wrapping 32-bit arithmetic.
inline int16_t Cover(int16_t v, int32_t t, uint32_t a) {
    return Low16(ShiftRight(static_cast<uint32_t>(v) * (255u - a) + static_cast<uint32_t>(t) * a, 8));
}

}  // namespace

// Makes no test and draws nothing: it only stores.
void Font(const ImageArguments& args) {
    FontSettings& font = font_settings;
    memcpy(font.face_name, args.call->line.arg_text[0], sizeof font.face_name);
    font.face_name[sizeof font.face_name - 1] = '\0';
    font.cell_height = std::max(args[2], int32_t{1});
    font.bold = args[3];
    font.italic = args[4];
    font.underline = args[5];
    font.text_y = args[6];
    font.text_cb = args[7];
    font.text_cr = args[8];
}

void Text(const ImageArguments& args) {
    TextCanvas& canvas = text_canvas;
    if (!canvas.Fit(args.size)) return;

    FontSettings& font = font_settings;
    TextRequest request;
    if (font.cell_height == 0) {
        // The first text without a font: the default face at 32 in white; the face itself is
        // not stored, so later texts without a font get the renderer's default face.
        request.face_name = kDefaultFace;
        request.cell_height = kDefaultCellHeight;
        font.cell_height = kDefaultCellHeight;
        font.text_y = 4096;
    } else {
        request.face_name = font.face_name;
        request.cell_height = font.cell_height;
        request.weight = font.bold ? 700 : 400;
        request.italic = font.italic != 0;
        request.underline = font.underline != 0;
    }
    request.x = args[2];
    request.y = args[3];
    request.align = static_cast<TextAlign>(args[4]);
    request.text = args.call->line.arg_text[4];

    canvas.ClearDrawn();
    canvas.drawn = InsideSurface(CurrentPlatform().Text().Draw(request, canvas.surface()), canvas.size);
    const CoverageBox box = canvas.drawn;
    if (box.empty()) return;
    PixelYC* image = args.Image(1);
    const int32_t stride = args.size.width, t_y = font.text_y, t_cb = font.text_cb, t_cr = font.text_cr;
    RowLoop(box.y0, box.y1 - box.y0, args.threads, [&](int32_t r) {
        const uint8_t* coverage = canvas.pixels + PixelIndex(0, r, stride);
        PixelYC* row = image + PixelIndex(0, r, stride);
        for (int32_t c = box.x0; c < box.x1; ++c) {
            const uint32_t a = coverage[c];
            if (a == 0) continue;
            PixelYC& p = row[c];
            p = {Cover(p.y, t_y, a), Cover(p.cb, t_cb, a), Cover(p.cr, t_cr, a)};
        }
    });
}

void ReleaseTextState() {
    text_canvas.Release();
    CurrentPlatform().Text().Release();
    font_settings = {};
}

}  // namespace kinetra::video
