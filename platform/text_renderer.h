// The text command's renderer: a string in a face drawn as grey coverage onto a surface the
// size of the image buffers. Each operating system has its own (the font machinery differs);
// the command only clears, asks for a string and blends what comes back.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kinetra {

enum class TextAlign : uint8_t {
    kLeft,    // x is the left edge of the string
    kCentre,  // x is its centre
    kRight,   // x is its right edge
};

// One string to draw, as the script gave it. Face name and string are Shift-JIS.
struct TextRequest {
    const char* face_name = "";  // empty: the renderer's default face
    int32_t cell_height = 32;    // ascent plus descent in pixels (not the em size); at least 1
    int32_t weight = 400;        // 400 regular, 700 bold
    bool italic = false;
    bool underline = false;
    int32_t x = 0, y = 0;  // reference point; y is the top of the character cell
    TextAlign align = TextAlign::kLeft;
    const char* text = "";  // up to its NUL
};

// Coverage 0..255, one byte a pixel, `width` bytes a row, rows from the top.
struct CoverageSurface {
    uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
};

// A half-open area of the surface: columns [x0, x1), rows [y0, y1).
struct CoverageBox {
    int32_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

class TextRenderer {
public:
    virtual ~TextRenderer() = default;

    // Draws the string's glyphs (and underline) onto `surface`, which is 0 wherever this call
    // may write. Returns the area it wrote, inside the surface: outside it nothing changed.
    // A string that shows nothing gives an empty area.
    virtual CoverageBox Draw(const TextRequest& request, const CoverageSurface& surface) = 0;

    // Lets go of fonts and cached glyphs; the next Draw starts afresh.
    virtual void Release() = 0;
};

// The system's renderer for this build.
TextRenderer& SystemTextRenderer();

}  // namespace kinetra
