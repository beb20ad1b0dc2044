// font and text. Glyph shapes are the renderer's business: these tests look at where coverage
// lands and how it is blended, measured by drawing white on black, where y = 16 x coverage.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "tests/support/test_platform.h"
#include "tests/video/effects_canvas.h"
#include "video/commands.h"

// Allocation failure inside the renderer, whose glyph bitmaps come from operator new: this
// program's operator new refuses blocks of this many bytes or more while a test sets it.
std::atomic<size_t> refuse_new_from{SIZE_MAX};

// The replacements pair malloc with free; the compiler, seeing free meet memory from "new",
// would warn at every inlined delete.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t bytes) {
    if (bytes >= refuse_new_from.load(std::memory_order_relaxed)) throw std::bad_alloc();
    if (void* block = malloc(bytes > 0 ? bytes : 1)) return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }

namespace kinetra::video::effects_testing {
namespace {

// "ＭＳ ゴシック", "日", "本", "日本語" and an Arabic letter with "日" (no test face has both).
const char kGothic[] = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";
const char kSun[] = "\x93\xFA";
const char kBook[] = "\x96\x7B";
const char kJapanese[] = "\x93\xFA\x96\x7B\x8C\xEA";

#if defined(KINETRA_NULL_TEXT_RENDERER)
#define NEEDS_GLYPHS() GTEST_SKIP() << "this build's text renderer draws nothing"
#else
#define NEEDS_GLYPHS() (void)0
#endif

void Font(Canvas& canvas, const char* face, double height, double bold = 0, double italic = 0,
          double underline = 0, double y = 4096, double cb = 0, double cr = 0) {
    memset(canvas.line.arg_text, 0, sizeof canvas.line.arg_text);
    strcpy(canvas.line.arg_text[0], face);
    canvas.Run("font", {0, height, bold, italic, underline, y, cb, cr});
}

void Text(Canvas& canvas, double buffer, double x, double y, double align, const char* text, int threads = 2) {
    memset(canvas.line.arg_text, 0, sizeof canvas.line.arg_text);
    strcpy(canvas.line.arg_text[4], text);
    canvas.Run("text", {buffer, x, y, align}, threads);
}

// Where buffer `b` of a canvas that was black holds white text's coverage.
struct Ink {
    int32_t x0 = INT32_MAX, x1 = INT32_MIN, y0 = INT32_MAX, y1 = INT32_MIN;  // half-open
    int64_t total = 0;
    bool empty() const { return total == 0; }
    int32_t width() const { return x1 - x0; }
};

Ink InkOf(const Canvas& canvas, int b = 2) {
    Ink ink;
    for (int32_t y = 0; y < canvas.H; ++y) {
        for (int32_t x = 0; x < canvas.W; ++x) {
            const int a = canvas.At(b, x, y).y / 16;
            if (a == 0) continue;
            ink.total += a;
            ink.x0 = std::min(ink.x0, x);
            ink.x1 = std::max(ink.x1, x + 1);
            ink.y0 = std::min(ink.y0, y);
            ink.y1 = std::max(ink.y1, y + 1);
        }
    }
    return ink;
}

// Every test starts as a freshly loaded plug-in does, and drawn with the test faces.
class TextTest : public ::testing::Test {
protected:
    void SetUp() override {
        ReleaseCommandState();
        testing::UseTestFonts();
    }
    void TearDown() override { ReleaseCommandState(); }
};

TEST_F(TextTest, AlignmentPlacesTheStringAtTheReferencePoint) {
    NEEDS_GLYPHS();
    Ink ink[3];
    for (int align = 0; align < 3; ++align) {
        Canvas canvas(200, 80);
        Font(canvas, "DejaVu Sans", 30);
        Text(canvas, 2, 100, 20, align, "Hgjy");
        ink[align] = InkOf(canvas);
        SCOPED_TRACE(align);
        ASSERT_FALSE(ink[align].empty());
        // The cell's top at row 20, its height 30; the ink fills most of it.
        EXPECT_GE(ink[align].y0, 20);
        EXPECT_LE(ink[align].y1, 50);
        EXPECT_GE(ink[align].y1 - ink[align].y0, 22);
    }
    EXPECT_NEAR(ink[0].x0, 100, 3);                    // left edge at x
    EXPECT_NEAR(ink[2].x1, 100, 3);                    // right edge at x
    EXPECT_NEAR((ink[1].x0 + ink[1].x1) / 2, 100, 3);  // centred on x
    // The same string moved by its advance width, and by half of it.
    const int32_t advance = ink[0].x0 - ink[2].x0;
    EXPECT_EQ(ink[0].x0 - ink[1].x0, advance / 2);
    EXPECT_EQ(ink[0].width(), ink[1].width());
    EXPECT_EQ(ink[0].width(), ink[2].width());
}

TEST_F(TextTest, StylesChangeTheCoverage) {
    NEEDS_GLYPHS();
    // DejaVu Sans has a bold face of its own; the Gothic face's bold and italic are made from
    // its regular outlines, as are DejaVu Sans's italics in the test faces.
    for (const char* face : {"DejaVu Sans", kGothic}) {
        SCOPED_TRACE(face);
        auto draw = [face](double bold, double italic, double underline, const char* text) {
            Canvas canvas(240, 60);
            Font(canvas, face, 32, bold, italic, underline);
            Text(canvas, 2, 10, 10, 0, text);
            return canvas;
        };
        const Canvas regular = draw(0, 0, 0, "Hamburg");
        const Ink plain = InkOf(regular);
        EXPECT_GT(InkOf(draw(1, 0, 0, "Hamburg")).total, plain.total * 11 / 10);

        // Italic leans right: against regular, its upper rows move further right than its lower.
        auto centre = [](const Canvas& canvas, int32_t y0, int32_t y1) {
            double sum = 0, weight = 0;
            for (int32_t y = y0; y < y1; ++y) {
                for (int32_t x = 0; x < canvas.W; ++x) {
                    sum += double(canvas.At(2, x, y).y) * x;
                    weight += canvas.At(2, x, y).y;
                }
            }
            return sum / weight;
        };
        const Canvas italic = draw(0, 1, 0, "Hamburg");
        const int32_t third = (plain.y1 - plain.y0) / 3;
        const double upper = centre(italic, plain.y0, plain.y0 + third) - centre(regular, plain.y0, plain.y0 + third);
        const double lower = centre(italic, plain.y1 - third, plain.y1) - centre(regular, plain.y1 - third, plain.y1);
        EXPECT_GT(upper - lower, 2.0);

        // Underline: coverage below the lowest ink of a string without descenders, about as
        // wide as the string.
        const Ink bare = InkOf(draw(0, 0, 0, "ace"));
        const Canvas lined = draw(0, 0, 1, "ace");
        const Ink under = InkOf(lined);
        ASSERT_GT(under.y1, bare.y1);
        int32_t covered = 0;
        for (int32_t x = 0; x < lined.W; ++x) covered += lined.At(2, x, under.y1 - 1).y > 0;
        EXPECT_GE(covered, bare.width() * 8 / 10);
    }
}

TEST_F(TextTest, JapaneseStringsGetRealGlyphsWhateverTheFaceName) {
    NEEDS_GLYPHS();
    // A Latin face and a face no machine has resolve to one that has the characters.
    for (const char* face : {kGothic, "DejaVu Sans", "No Such Face"}) {
        SCOPED_TRACE(face);
        Canvas sun(60, 40), book(60, 40), both(120, 40);
        for (Canvas* canvas : {&sun, &book, &both}) Font(*canvas, face, 32);
        Text(sun, 2, 4, 4, 0, kSun);
        Text(book, 2, 4, 4, 0, kBook);
        Text(both, 2, 4, 4, 0, kJapanese);
        const Ink a = InkOf(sun), b = InkOf(book);
        EXPECT_GT(a.total, 255 * 20);
        EXPECT_GT(b.total, 255 * 20);
        EXPECT_FALSE(sun.SameBuffers(book));
        EXPECT_GE(InkOf(both).width(), a.width() * 2);
    }
    // "∑" is the one character of the code page that the Gothic face lacks, and DejaVu Sans
    // lacks "日": no face has both, so each is taken from a face that has it.
    auto total = [](const char* text) {
        Canvas canvas(120, 60);
        Font(canvas, "DejaVu Sans", 32);
        Text(canvas, 2, 4, 10, 0, text);
        return InkOf(canvas).total;
    };
    const int64_t sun = total(kSun), sum = total("\x87\x94");
    EXPECT_GT(sum, 255 * 20);
    EXPECT_NEAR(double(total("\x93\xFA\x87\x94")), double(sun + sum), 0.03 * double(sun + sum));
#if !defined(KINETRA_GDI_TEXT_RENDERER)  // GDI gives such a character the face's default glyph
    // A character no face has (the code page's private use) is skipped, taking no room.
    Canvas skipped(120, 60), without(120, 60);
    Font(skipped, "DejaVu Sans", 32);
    Text(skipped, 2, 4, 10, 0, "A\xF0\x40" "B");
    Text(without, 2, 4, 10, 0, "AB");
    EXPECT_TRUE(skipped.SameBuffers(without));
#endif
}

// Writes known coverage: 255 on the first row of its box, 128 on the second, 0 on the third,
// over columns x .. x + 3 and rows y .. y + 2 as far as they are on the surface.
class StripeRenderer final : public TextRenderer {
public:
    CoverageBox Draw(const TextRequest& request, const CoverageSurface& surface) override {
        ++draws;
        CoverageBox box{std::max(request.x, 0), std::min(request.x + 4, surface.width), std::max(request.y, 0),
                        std::min(request.y + 3, surface.height)};
        if (box.empty()) return {};
        for (int32_t y = box.y0; y < box.y1; ++y) {
            const uint8_t a = y == request.y ? 255 : y == request.y + 1 ? 128 : 0;
            memset(surface.pixels + size_t(y) * surface.width + box.x0, a, size_t(box.x1 - box.x0));
        }
        return box;
    }
    void Release() override {}
    int draws = 0;
};

TEST_F(TextTest, BlendOfKnownCoverage) {
    testing::TestPlatform platform;
    StripeRenderer stripes;
    platform.text_renderer = &stripes;
    Canvas canvas(16, 8);
    canvas.Randomize(3);
    for (int x = 0; x < 16; ++x) canvas.At(2, x, 2) = {0, 0, 0};
    canvas.At(2, 5, 3) = {1000, -1000, 30000};
    const Canvas before(canvas);
    Font(canvas, "any", 20, 0, 0, 0, 4096, -2048, 70000);
    Text(canvas, 2, 4, 2, 0, "x");
    EXPECT_EQ(stripes.draws, 1);
    // Full coverage over black: 4096 x 255 / 256 and -2048 x 255 / 256; cr 70000 wraps.
    EXPECT_TRUE(Same(canvas.At(2, 4, 2), PixelYC{4080, -2040, Low16((70000 * 255) >> 8)}));
    // Half coverage: (v x 127 + t x 128) >> 8, rounding toward minus infinity.
    EXPECT_TRUE(Same(canvas.At(2, 5, 3), PixelYC{(1000 * 127 + 4096 * 128) >> 8, (-1000 * 127 - 2048 * 128) >> 8,
                                                Low16((30000 * 127 + 70000 * 128) >> 8)}));
    // Coverage 0, in the box or outside it, and every other buffer: unchanged.
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x) {
            if ((y == 2 || y == 3) && x >= 4 && x < 8) continue;
            ASSERT_TRUE(Same(canvas.At(2, x, y), before.At(2, x, y))) << x << "," << y;
        }
    }
    for (int b = 0; b < 10; ++b) {
        if (b != 2) {
            EXPECT_EQ(memcmp(canvas.Image(b), before.Image(b), canvas.Area() * sizeof(PixelYC)), 0) << b;
        }
    }
}

TEST_F(TextTest, CommandsThatDrawNothing) {
    testing::TestPlatform platform;
    StripeRenderer stripes;
    platform.text_renderer = &stripes;
    struct Case {
        const char* what;
        double buffer, x, y, align;
    };
    const Case cases[] = {{"alignment 3", 2, 4, 2, 3},   {"alignment -1", 2, 4, 2, -1}, {"buffer 10", 10, 4, 2, 0},
                          {"buffer -1", -1, 4, 2, 0},    {"left of the surface", 2, -4, 2, 0},
                          {"below the surface", 2, 4, 8, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Canvas canvas(16, 8);
        canvas.Randomize(5);
        const Canvas before(canvas);
        Font(canvas, "any", 20);
        Text(canvas, c.buffer, c.x, c.y, c.align, "x");
        EXPECT_TRUE(canvas.SameBuffers(before)) << canvas.FirstDifference(before, 2);
    }
    EXPECT_EQ(stripes.draws, 2);  // the bad buffer numbers and alignments never reach the renderer
}

// The surface follows the buffers' size: a string at the far corner of a bigger image is drawn
// there (an old, smaller surface would be overrun), and one that cannot be made draws nothing
// until it can.
TEST_F(TextTest, SurfaceIsMadeForTheCurrentSize) {
    testing::TestPlatform platform;
    StripeRenderer stripes;
    platform.text_renderer = &stripes;
    for (int32_t side : {16, 64, 8}) {
        Canvas canvas(side, side);
        Font(canvas, "any", 20);
        Text(canvas, 2, side - 4, side - 3, 0, "x");
        EXPECT_EQ(canvas.At(2, side - 1, side - 3).y, 4080) << side;
    }
    Canvas canvas(32, 32);
    platform.refuse_from_bytes = 32 * 32;
    Text(canvas, 2, 0, 0, 0, "x");
    EXPECT_EQ(canvas.At(2, 0, 0).y, 0);
    platform.refuse_from_bytes = SIZE_MAX;
    Text(canvas, 2, 0, 0, 0, "x");
    EXPECT_EQ(canvas.At(2, 0, 0).y, 4080);
}

// A glyph the renderer cannot keep for want of memory draws nothing and throws nothing; the
// next text makes it and draws what it would have drawn.
TEST_F(TextTest, AGlyphWithoutMemoryDrawsNothingAndTheNextTextTriesAgain) {
    NEEDS_GLYPHS();
#if defined(KINETRA_GDI_TEXT_RENDERER)
    GTEST_SKIP() << "GDI keeps its glyphs in the system's memory, which this program cannot refuse";
#endif
    Canvas want(200, 140);
    Font(want, "DejaVu Sans", 120);
    Text(want, 2, 10, 5, 0, "W");
    ASSERT_FALSE(InkOf(want).empty());
    ReleaseCommandState();  // the glyph is made anew below

    Canvas canvas(200, 140);
    Font(canvas, "DejaVu Sans", 120);
    refuse_new_from = 4096;  // a 120-pixel glyph's bitmap is larger, the layout's blocks are not
    Text(canvas, 2, 10, 5, 0, "W");
    refuse_new_from = SIZE_MAX;
    EXPECT_TRUE(InkOf(canvas).empty());
    Text(canvas, 2, 10, 5, 0, "W");
    EXPECT_TRUE(canvas.SameBuffers(want));
}

// Real glyphs over a random picture, with one thread and with sixteen: every pixel is the blend
// of the coverage the same string leaves on black, and pixels under no glyph keep their values.
TEST_F(TextTest, BlendOfRealGlyphsMatchesTheirCoverage) {
    NEEDS_GLYPHS();
    Canvas black(160, 50);
    Font(black, "DejaVu Serif", 26, 1, 0, 1, 4096, 0, 0);
    Text(black, 2, 80, 8, 1, "Quartz, 42");
    ASSERT_FALSE(InkOf(black).empty());
    for (int threads : {1, 16}) {
        Canvas canvas(160, 50);
        canvas.Randomize(11);
        const Canvas before(canvas);
        Font(canvas, "DejaVu Serif", 26, 1, 0, 1, 3000, -700, 1200);
        Text(canvas, 2, 80, 8, 1, "Quartz, 42", threads);
        for (int32_t y = 0; y < canvas.H; ++y) {
            for (int32_t x = 0; x < canvas.W; ++x) {
                const int32_t a = black.At(2, x, y).y / 16;
                const PixelYC& v = before.At(2, x, y);
                auto blend = [a](int32_t value, int32_t t) { return Low16((value * (255 - a) + t * a) >> 8); };
                const PixelYC want = a == 0 ? v : PixelYC{blend(v.y, 3000), blend(v.cb, -700), blend(v.cr, 1200)};
                ASSERT_TRUE(Same(canvas.At(2, x, y), want)) << x << "," << y << " with " << threads;
            }
        }
    }
}

TEST_F(TextTest, StringsHalfOffTheSurfaceShowTheirVisiblePart) {
    NEEDS_GLYPHS();
    // Cells up to 256 pixels draw kept bitmaps; taller ones draw outlines straight onto the
    // surface, clipped to it.
    for (const int32_t cell : {30, 300}) {
        SCOPED_TRACE(::testing::Message() << "cell " << cell);
        const int32_t W = cell * 7, H = cell * 3, x = W / 2, y = cell;
        Canvas whole(W, H);
        Font(whole, "DejaVu Sans", cell, 0, 1, 1);
        Text(whole, 2, x, y, 0, "Hello");
        const Ink ink = InkOf(whole);
        ASSERT_GT(ink.total, int64_t{255} * cell * cell / 4);
        EXPECT_GE(ink.y0, y);
        EXPECT_LE(ink.y1, y + cell);
        EXPECT_GT(ink.y1 - ink.y0, cell * 3 / 5);
        // Moved so that the left half, then the top half, then the bottom-right half is off.
        const struct {
            int32_t dx, dy;
        } shifts[] = {{-(ink.x0 + ink.width() / 2), 0},
                      {0, -(ink.y0 + (ink.y1 - ink.y0) / 2)},
                      {W - ink.x1 + ink.width() / 2, H - ink.y1 + (ink.y1 - ink.y0) / 3}};
        for (const auto& shift : shifts) {
            SCOPED_TRACE(::testing::Message() << shift.dx << "," << shift.dy);
            Canvas part(W, H);
            Text(part, 2, x + shift.dx, y + shift.dy, 0, "Hello");
            for (int32_t r = 0; r < H; ++r) {
                for (int32_t c = 0; c < W; ++c) {
                    const int32_t sx = c - shift.dx, sy = r - shift.dy;
                    const int16_t want = whole.Inside(sx, sy) ? whole.At(2, sx, sy).y : 0;
                    ASSERT_EQ(part.At(2, c, r).y, want) << c << "," << r;
                }
            }
        }
    }
    // Cells far beyond what FreeType sets draw nothing there; GDI draws what the system makes of
    // them. Either way only the buffer drawn into changes.
    for (const double cell : {70000.0, 2147483647.0}) {
        Canvas canvas(64, 32);
        canvas.Randomize(2);
        const Canvas before(canvas);
        Font(canvas, "DejaVu Sans", cell, 1, 1, 1);
        Text(canvas, 2, 0, 0, 1, "Hello");
#if defined(KINETRA_GDI_TEXT_RENDERER)
        for (int b = 0; b < 10; ++b) {
            if (b == 2) continue;
            EXPECT_EQ(memcmp(canvas.Image(b), before.Image(b), canvas.Area() * sizeof(PixelYC)), 0) << cell << " " << b;
        }
#else
        EXPECT_TRUE(canvas.SameBuffers(before)) << cell;
#endif
    }
}

TEST_F(TextTest, EachTextUsesTheFontBeforeIt) {
    NEEDS_GLYPHS();
    // Two texts in one frame with different fonts: the second sees none of the first's pixels.
    Canvas frame(200, 80);
    Font(frame, "DejaVu Serif", 40, 1);
    Text(frame, 2, 10, 10, 0, "Wide");
    Font(frame, "DejaVu Sans", 12);
    Text(frame, 3, 10, 10, 0, "small");
    ReleaseCommandState();
    Canvas alone(200, 80);
    Font(alone, "DejaVu Sans", 12);
    Text(alone, 3, 10, 10, 0, "small");
    EXPECT_EQ(memcmp(frame.Image(3), alone.Image(3), frame.Area() * sizeof(PixelYC)), 0);
    EXPECT_GT(InkOf(frame, 2).total, InkOf(frame, 3).total * 3);

    // A height below 1 is stored as 1.
    for (double height : {0.0, -5.0}) {
        Canvas low(40, 20), one(40, 20);
        Font(low, "DejaVu Sans", height);
        Text(low, 2, 2, 2, 0, "Hm");
        Font(one, "DejaVu Sans", 1);
        Text(one, 2, 2, 2, 0, "Hm");
        EXPECT_TRUE(low.SameBuffers(one)) << height;
    }
}

TEST_F(TextTest, FirstTextWithoutAFontIsWhiteGothicOfHeight32) {
    NEEDS_GLYPHS();
    Canvas first(120, 60), gothic(120, 60);
    Text(first, 2, 4, 10, 0, kJapanese);
    Font(gothic, kGothic, 32, 0, 0, 0, 4096, 0, 0);
    Text(gothic, 2, 4, 10, 0, kJapanese);
    EXPECT_TRUE(first.SameBuffers(gothic));
    // Later texts keep the white and the height, and leave the face to the renderer's default.
    ReleaseCommandState();
    Canvas later(120, 60);
    Text(later, 2, 4, 10, 0, "x");
    Text(later, 3, 4, 10, 0, kJapanese);
    const Ink ink = InkOf(later, 3);
    EXPECT_GT(ink.total, 255 * 40);
    EXPECT_GE(ink.y0, 10);
    EXPECT_LE(ink.y1, 42);
    EXPECT_EQ(std::max_element(later.Image(3), later.Image(3) + later.Area(),
                               [](const PixelYC& a, const PixelYC& b) { return a.y < b.y; })->y, 4080);
}

}  // namespace
}  // namespace kinetra::video::effects_testing
