// The text renderer of the Windows build: GDI draws the string, white on black, into a 32-bit
// top-down DIB section selected into a memory device context, and each pixel's blue byte is its
// coverage. The device context and the surface are made once (the surface again when the size
// changes); a new font is made for every string and the previous one deleted.
#include "platform/win32.h"

#include <algorithm>
#include <cstring>

#include "platform/text_renderer.h"

namespace kinetra {
namespace {

constexpr int kDefaultCharset = 1;     // DEFAULT_CHARSET
constexpr int kAntialiasedQuality = 4;  // ANTIALIASED_QUALITY

class GdiTextRenderer final : public TextRenderer {
public:
    ~GdiTextRenderer() override { Release(); }

    CoverageBox Draw(const TextRequest& request, const CoverageSurface& surface) override {
        if (!surface.pixels || surface.width <= 0 || surface.height <= 0) return {};
        if (!canvas_dc_) canvas_dc_ = CreateCompatibleDC(nullptr);
        if (!canvas_dc_) return {};  // the next string tries again
        if (!FitSurface(surface.width, surface.height)) return {};
        SelectFont(request);

        SetMapMode(canvas_dc_, MM_TEXT);
        SetTextColor(canvas_dc_, RGB(255, 255, 255));
        SetBkColor(canvas_dc_, RGB(0, 0, 0));
        SetTextAlign(canvas_dc_, kAlignments[static_cast<int>(request.align)]);
        const size_t pixels = static_cast<size_t>(width_) * static_cast<size_t>(height_);
        memset(canvas_bits_, 0, pixels * 4);
        TextOutA(canvas_dc_, request.x, request.y, request.text, static_cast<int>(strlen(request.text)));
        GdiFlush();  // drawing may be batched: the bits are read only once it is done
        return CopyCoverage(surface);
    }

    // The font and the surface selected out, then deleted, then the device context.
    void Release() override {
        if (!canvas_dc_) return;
        ReleaseFont();
        ReleaseSurface();
        DeleteDC(canvas_dc_);
        canvas_dc_ = nullptr;
    }

private:
    // TA_LEFT | TA_TOP, TA_CENTER | TA_TOP, TA_RIGHT | TA_TOP: the reference point is at the
    // top of the cell, on its left edge, centre or right edge.
    static constexpr UINT kAlignments[] = {TA_LEFT | TA_TOP, TA_CENTER | TA_TOP, TA_RIGHT | TA_TOP};

    // The surface for this size, made when there is none or the size changed.
    bool FitSurface(int32_t width, int32_t height) {
        if (saved_bitmap_ && width == width_ && height == height_) return true;
        ReleaseSurface();
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);  // 40
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // the first row in memory is the top row
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(canvas_dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!bitmap) return false;
        saved_bitmap_ = static_cast<HBITMAP>(SelectObject(canvas_dc_, bitmap));
        if (!saved_bitmap_) {
            DeleteObject(bitmap);  // made but not selected: nothing else would delete it
            return false;
        }
        surface_ = bitmap;
        canvas_bits_ = static_cast<uint8_t*>(bits);
        width_ = width;
        height_ = height;
        return true;
    }

    // The previous string's font selected out and deleted, this one's made and selected; one
    // that cannot be made leaves the device context with its own font.
    void SelectFont(const TextRequest& request) {
        ReleaseFont();
        HFONT font = CreateFontA(request.cell_height, 0, 0, 0, request.weight, request.italic,
                                 request.underline, 0, kDefaultCharset, 0, 0, kAntialiasedQuality, 0,
                                 request.face_name);
        if (!font) return;
        saved_font_ = static_cast<HFONT>(SelectObject(canvas_dc_, font));
        if (!saved_font_) DeleteObject(font);
    }

    void ReleaseFont() {
        if (!saved_font_) return;
        DeleteObject(SelectObject(canvas_dc_, saved_font_));
        saved_font_ = nullptr;
    }

    void ReleaseSurface() {
        if (!saved_bitmap_) return;
        SelectObject(canvas_dc_, saved_bitmap_);
        DeleteObject(surface_);
        saved_bitmap_ = nullptr;
        surface_ = nullptr;
        canvas_bits_ = nullptr;
        width_ = height_ = 0;
    }

    // Each pixel's blue byte as its coverage; the area that is not 0.
    CoverageBox CopyCoverage(const CoverageSurface& surface) const {
        CoverageBox box{width_, 0, height_, 0};
        for (int32_t r = 0; r < height_; ++r) {
            const uint8_t* source = canvas_bits_ + static_cast<size_t>(r) * static_cast<size_t>(width_) * 4;
            uint8_t* dest = surface.pixels + static_cast<size_t>(r) * static_cast<size_t>(width_);
            for (int32_t c = 0; c < width_; ++c) {
                const uint8_t a = source[4 * static_cast<size_t>(c)];
                if (a == 0) continue;
                dest[c] = a;
                box.x0 = std::min(box.x0, c);
                box.x1 = std::max(box.x1, c + 1);
                box.y0 = std::min(box.y0, r);
                box.y1 = r + 1;
            }
        }
        return box.empty() ? CoverageBox{} : box;
    }

    HDC canvas_dc_ = nullptr;
    HBITMAP surface_ = nullptr;
    HBITMAP saved_bitmap_ = nullptr;
    HFONT saved_font_ = nullptr;
    uint8_t* canvas_bits_ = nullptr;
    int32_t width_ = 0, height_ = 0;
};

}  // namespace

TextRenderer& SystemTextRenderer() {
    static GdiTextRenderer renderer;
    return renderer;
}

}  // namespace kinetra
