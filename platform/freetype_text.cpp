// The text renderer of the Linux build: fontconfig chooses the faces, FreeType draws the glyphs,
// the platform's one conversion reads the Shift-JIS names and strings. It draws as the Windows build's renderer does:
// a positive height is the cell height (the face's Windows ascent plus descent), the reference
// point is the top of the cell, the string is laid out by advance widths alone (no kerning or
// shaping), and a style the family lacks is made from the regular outlines.
//
// Faces are chosen from the request and the string alone, never from what was drawn before,
// so a frame renders the same whichever frames came first. Rasterised glyphs are kept between
// commands and frames, up to a memory budget.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/shift_jis.h"
#include "platform/text_renderer.h"

namespace kinetra {
namespace {

// Cells taller than this are drawn glyph by glyph straight onto the surface, clipped to it,
// instead of being rasterised whole and kept: a glyph of a huge cell would be a huge bitmap.
constexpr int32_t kLargestKeptCell = 256;
// Kept glyph bitmaps beyond this many bytes, or this many sizes, make room by dropping the
// sizes used least recently.
constexpr size_t kGlyphBudgetBytes = size_t{64} << 20;
constexpr size_t kMostGlyphSets = 48;
constexpr size_t kMostStyles = 64;
constexpr size_t kMostPrimaryChoices = 256;  // per style

// One face of one font file.
struct Face {
    std::string file;
    int index = 0;
    FT_Face face = nullptr;
    FT_F26Dot6 size_set = -1;  // the character size last set on `face`
    int32_t cell_units = 0;    // Windows ascent plus descent, in font units
    int32_t ascent_units = 0;
};

// The cell of one face at one height, in pixels from its top. 64 bits: a cell may be as tall
// as a 32-bit height says, and the underline lies below it.
struct CellMetrics {
    FT_F26Dot6 char_size;  // em size, 26.6
    int64_t baseline;
    int64_t underline_top;
    int64_t underline_rows;
};

struct Glyph {
    int32_t advance = 0;  // whole pixels
    int32_t left = 0, top = 0;  // bitmap origin from the pen on the baseline, rows upwards
    int32_t width = 0, rows = 0;
    bool kept = false;  // the bitmap below is the glyph; else it is drawn from its outline
    bool present = false;  // false: the face has no such character, skip it
    std::vector<uint8_t> bitmap;
};

// The glyphs of one face at one cell height and synthesis.
struct GlyphSet {
    int face = -1;
    int32_t cell_height = 0;
    bool embolden = false, oblique = false;
    uint64_t last_use = 0;
    size_t bytes = 0;
    std::unordered_map<char32_t, Glyph> glyphs;
};

// What fontconfig chose for one face name, weight and slant.
struct Style {
    std::string key;
    FcPattern* pattern = nullptr;  // substituted, without the string's characters
    FcFontSet* fallbacks = nullptr;  // every face in order of preference, made when needed
    std::unordered_map<std::string, int> primary;  // string bytes -> face, or -1
    std::unordered_map<char32_t, int> fallback;    // character -> face, or -1
};

class FreeTypeRenderer final : public TextRenderer {
public:
    ~FreeTypeRenderer() override { Release(); }

    // Memory for a glyph or the layout that cannot be had draws nothing and lets every cache
    // go, so that the next string starts afresh; nothing is thrown at the host. Only the layout
    // allocates, before anything is written onto the surface, so the surface is still all 0.
    CoverageBox Draw(const TextRequest& request, const CoverageSurface& surface) override {
        try {
            return DrawString(request, surface);
        } catch (const std::bad_alloc&) {
            placed_.clear();
            Release();
            return {};
        }
    }

    void Release() override {
        sets_.clear();
        glyph_bytes_ = 0;
        for (Style& style : styles_) DestroyStyle(style);
        styles_.clear();
        for (Face& face : faces_) {
            if (face.face) FT_Done_Face(face.face);
        }
        faces_.clear();
        if (library_) FT_Done_FreeType(library_);
        library_ = nullptr;
        if (config_) FcConfigDestroy(config_);
        config_ = nullptr;
    }

private:
    CoverageBox DrawString(const TextRequest& request, const CoverageSurface& surface) {
        CoverageBox box;
        if (!surface.pixels || surface.width <= 0 || surface.height <= 0) return box;
        if (!Start()) return box;
        characters_ = ShiftJisToCharacters(request.text);
        if (characters_.empty()) return box;
        MakeRoom();
        const bool bold = request.weight >= 600;
        Style& style = StyleFor(request.face_name, bold, request.italic);
        const int primary = PrimaryFace(style, request.text);
        if (primary < 0) return box;
        const int32_t height = std::max(request.cell_height, 1);
        const CellMetrics cell = Metrics(faces_[primary], height);

        // Lay the string out by advance widths.
        placed_.clear();
        int64_t pen = 0;
        for (char32_t c : characters_) {
            int face = HasCharacter(primary, c) ? primary : FallbackFace(style, c);
            if (face < 0) continue;
            GlyphSet& set = SetFor(face, height, bold, request.italic);
            const Glyph& glyph = GlyphOf(set, c);
            if (!glyph.present) continue;
            placed_.push_back({&set, &glyph, c, pen});
            pen += glyph.advance;
        }
        int64_t start = request.x;
        if (request.align == TextAlign::kCentre) start -= pen / 2;
        if (request.align == TextAlign::kRight) start -= pen;
        const int64_t baseline = int64_t{request.y} + cell.baseline;

        for (const Placed& p : placed_) {
            const int64_t x = start + p.pen;
            if (p.glyph->kept) {
                Blit(*p.glyph, x + p.glyph->left, baseline - p.glyph->top, surface, box);
            } else {
                DrawOutline(*p.set, p.character, x, baseline, surface, box);
            }
        }
        if (request.underline && pen > 0) {
            FillRows(start, start + pen, baseline - cell.baseline + cell.underline_top,
                     cell.underline_rows, surface, box);
        }
        return box;
    }

    struct Placed {
        GlyphSet* set;
        const Glyph* glyph;
        char32_t character;
        int64_t pen;
    };

    // fontconfig keeps process-wide state (its caches, its interned names) that only FcFini
    // frees, and FcFini would take it from anyone else in the process who uses fontconfig.
    // Keeping the library loaded once this plug-in is unloaded keeps that state reachable, and
    // the next load of the plug-in reuses it instead of losing a copy with every unload.
    static void KeepFontconfigLoaded() {
        static const bool kept = [] {
            Dl_info library{};
            return dladdr(reinterpret_cast<void*>(&FcInitLoadConfigAndFonts), &library) != 0 &&
                   library.dli_fname && dlopen(library.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        }();
        (void)kept;
    }

    bool Start() {
        // The configuration is read now, so FONTCONFIG_FILE set before the first text counts.
        if (!config_) {
            KeepFontconfigLoaded();
            config_ = FcInitLoadConfigAndFonts();
        }
        if (!library_ && FT_Init_FreeType(&library_) != 0) library_ = nullptr;
        return config_ && library_;
    }

    static void DestroyStyle(Style& style) {
        if (style.pattern) FcPatternDestroy(style.pattern);
        if (style.fallbacks) FcFontSetDestroy(style.fallbacks);
        style.pattern = nullptr;
        style.fallbacks = nullptr;
    }

    // Drops the glyph sets used least recently while the kept glyphs are over budget, and the
    // fontconfig choices when there are too many. Only between draws: a draw holds pointers.
    void MakeRoom() {
        while (!sets_.empty() && (glyph_bytes_ > kGlyphBudgetBytes || sets_.size() > kMostGlyphSets)) {
            auto oldest = std::min_element(sets_.begin(), sets_.end(), [](const auto& a, const auto& b) {
                return a->last_use < b->last_use;
            });
            glyph_bytes_ -= (*oldest)->bytes;
            sets_.erase(oldest);
        }
        if (styles_.size() > kMostStyles) {
            for (Style& style : styles_) DestroyStyle(style);
            styles_.clear();
        }
    }

    Style& StyleFor(const char* face_name, bool bold, bool italic) {
        family_ = ShiftJisToUtf8(face_name);
        key_.assign(family_);
        key_ += bold ? "\n7" : "\n4";
        key_ += italic ? 'i' : 'r';
        for (Style& style : styles_) {
            if (style.key == key_) return style;
        }
        Style& style = styles_.emplace_back();
        style.key = key_;
        FcPattern* pattern = FcPatternCreate();
        if (!family_.empty()) {
            FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family_.c_str()));
        }
        FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        // A name written in double-byte characters asks for a Japanese face; naming the
        // language here also keeps the choice off the machine's locale.
        const bool japanese_name =
            std::any_of(face_name, face_name + strlen(face_name), [](char c) { return c & 0x80; });
        FcLangSet* languages = FcLangSetCreate();
        FcLangSetAdd(languages, reinterpret_cast<const FcChar8*>(japanese_name ? "ja" : "en"));
        FcPatternAddLangSet(pattern, FC_LANG, languages);
        FcLangSetDestroy(languages);
        FcConfigSubstitute(config_, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        style.pattern = pattern;
        return style;
    }

    // The face that fontconfig prefers for the style and every character of the string.
    int PrimaryFace(Style& style, const char* text) {
        auto found = style.primary.find(key_.assign(text));
        if (found != style.primary.end()) return found->second;
        if (style.primary.size() >= kMostPrimaryChoices) style.primary.clear();
        FcPattern* pattern = FcPatternDuplicate(style.pattern);
        FcCharSet* needed = FcCharSetCreate();
        for (char32_t c : characters_) FcCharSetAddChar(needed, c);
        FcPatternAddCharSet(pattern, FC_CHARSET, needed);
        FcCharSetDestroy(needed);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config_, pattern, &result);
        FcPatternDestroy(pattern);
        const int face = match ? FaceOf(match) : -1;
        if (match) FcPatternDestroy(match);
        style.primary.emplace(key_, face);
        return face;
    }

    // For a character the string's face lacks: the first face of the style's order that has it.
    int FallbackFace(Style& style, char32_t c) {
        auto found = style.fallback.find(c);
        if (found != style.fallback.end()) return found->second;
        if (!style.fallbacks) {
            FcResult result = FcResultNoMatch;
            style.fallbacks = FcFontSort(config_, style.pattern, FcFalse, nullptr, &result);
        }
        int face = -1;
        for (int i = 0; style.fallbacks && i < style.fallbacks->nfont && face < 0; ++i) {
            FcCharSet* characters = nullptr;
            FcPattern* font = style.fallbacks->fonts[i];
            if (FcPatternGetCharSet(font, FC_CHARSET, 0, &characters) != FcResultMatch ||
                !FcCharSetHasChar(characters, c)) {
                continue;
            }
            const int candidate = FaceOf(font);
            if (candidate >= 0 && HasCharacter(candidate, c)) face = candidate;
        }
        style.fallback.emplace(c, face);
        return face;
    }

    // The face a matched pattern names, opened once; -1 when it cannot be opened.
    int FaceOf(FcPattern* match) {
        FcChar8* file = nullptr;
        int index = 0;
        if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) return -1;
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        const char* path = reinterpret_cast<const char*>(file);
        for (size_t i = 0; i < faces_.size(); ++i) {
            if (faces_[i].index == index && faces_[i].file == path) return faces_[i].face ? int(i) : -1;
        }
        Face& face = faces_.emplace_back();
        face.file = path;
        face.index = index;
        if (FT_New_Face(library_, path, index, &face.face) != 0 || !FT_IS_SCALABLE(face.face)) {
            if (face.face) FT_Done_Face(face.face);
            face.face = nullptr;
            return -1;
        }
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face.face, FT_SFNT_OS2));
        if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
            face.ascent_units = os2->usWinAscent;
            face.cell_units = os2->usWinAscent + os2->usWinDescent;
        } else if (face.face->ascender - face.face->descender > 0) {
            face.ascent_units = face.face->ascender;
            face.cell_units = face.face->ascender - face.face->descender;
        } else {
            face.ascent_units = face.face->units_per_EM;
            face.cell_units = face.face->units_per_EM;
        }
        return int(faces_.size() - 1);
    }

    bool HasCharacter(int face, char32_t c) const { return FT_Get_Char_Index(faces_[face].face, c) != 0; }

    static CellMetrics Metrics(const Face& face, int32_t height) {
        CellMetrics cell;
        const double units = face.cell_units;
        const double em = face.face->units_per_EM;
        // FreeType sets em sizes up to 65535 pixels; a taller one is left at 0 and draws nothing.
        const double char_size = double(height) * 64.0 * em / units;
        cell.char_size = char_size < 65535.0 * 64.0 ? static_cast<FT_F26Dot6>(std::llround(char_size)) : 0;
        cell.baseline = std::llround(double(height) * face.ascent_units / units);
        const double pixels_per_unit = double(height) / units;
        const double thickness = std::max(1.0, std::round(face.face->underline_thickness * pixels_per_unit));
        const double centre = -double(face.face->underline_position) * pixels_per_unit;
        cell.underline_rows = static_cast<int64_t>(thickness);
        cell.underline_top = cell.baseline + std::max<int64_t>(1, std::llround(centre - thickness / 2));
        return cell;
    }

    GlyphSet& SetFor(int face, int32_t height, bool bold, bool italic) {
        const FT_Long flags = faces_[face].face->style_flags;
        const bool embolden = bold && !(flags & FT_STYLE_FLAG_BOLD);
        const bool oblique = italic && !(flags & FT_STYLE_FLAG_ITALIC);
        for (auto& set : sets_) {
            if (set->face == face && set->cell_height == height && set->embolden == embolden &&
                set->oblique == oblique) {
                set->last_use = ++clock_;
                return *set;
            }
        }
        auto& set = *sets_.emplace_back(std::make_unique<GlyphSet>());
        set.face = face;
        set.cell_height = height;
        set.embolden = embolden;
        set.oblique = oblique;
        set.last_use = ++clock_;
        return set;
    }

    // Loads the glyph's outline at the set's size, with the set's synthesis, into the face's
    // slot; false when the face has no outline for it.
    bool LoadOutline(const GlyphSet& set, char32_t c) {
        Face& face = faces_[set.face];
        const CellMetrics cell = Metrics(face, set.cell_height);
        if (cell.char_size < 1) return false;
        if (face.size_set != cell.char_size) {
            if (FT_Set_Char_Size(face.face, 0, cell.char_size, 72, 72) != 0) {
                face.size_set = -1;
                return false;
            }
            face.size_set = cell.char_size;
        }
        const FT_UInt index = FT_Get_Char_Index(face.face, c);
        if (index == 0 ||
            FT_Load_Glyph(face.face, index, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT) != 0 ||
            face.face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
            return false;
        }
        if (set.embolden) FT_GlyphSlot_Embolden(face.face->glyph);
        if (set.oblique) FT_GlyphSlot_Oblique(face.face->glyph);
        return true;
    }

    const Glyph& GlyphOf(GlyphSet& set, char32_t c) {
        auto found = set.glyphs.find(c);
        if (found != set.glyphs.end()) return found->second;
        Glyph& glyph = set.glyphs[c];
        if (!LoadOutline(set, c)) return glyph;
        FT_GlyphSlot slot = faces_[set.face].face->glyph;
        glyph.present = true;
        glyph.advance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
        if (set.cell_height > kLargestKeptCell) return glyph;
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0 || slot->bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) {
            return glyph;  // advances only
        }
        glyph.kept = true;
        glyph.left = slot->bitmap_left;
        glyph.top = slot->bitmap_top;
        glyph.width = static_cast<int32_t>(slot->bitmap.width);
        glyph.rows = static_cast<int32_t>(slot->bitmap.rows);
        glyph.bitmap.resize(static_cast<size_t>(glyph.width) * glyph.rows);
        for (int32_t r = 0; r < glyph.rows; ++r) {
            memcpy(glyph.bitmap.data() + static_cast<size_t>(r) * glyph.width,
                   slot->bitmap.buffer + static_cast<ptrdiff_t>(r) * slot->bitmap.pitch, glyph.width);
        }
        set.bytes += glyph.bitmap.size();
        glyph_bytes_ += glyph.bitmap.size();
        return glyph;
    }

    static void Grow(CoverageBox& box, int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
        if (x0 >= x1 || y0 >= y1) return;
        if (box.empty()) {
            box = {x0, x1, y0, y1};
            return;
        }
        box = {std::min(box.x0, x0), std::max(box.x1, x1), std::min(box.y0, y0), std::max(box.y1, y1)};
    }

    // A kept bitmap with its top-left corner at (x, y); where glyphs overlap the darker wins.
    static void Blit(const Glyph& glyph, int64_t x, int64_t y, const CoverageSurface& surface,
                     CoverageBox& box) {
        const int64_t x0 = std::max<int64_t>(x, 0), x1 = std::min<int64_t>(x + glyph.width, surface.width);
        const int64_t y0 = std::max<int64_t>(y, 0), y1 = std::min<int64_t>(y + glyph.rows, surface.height);
        if (x0 >= x1 || y0 >= y1) return;
        for (int64_t r = y0; r < y1; ++r) {
            const uint8_t* from = glyph.bitmap.data() + static_cast<size_t>(r - y) * glyph.width + (x0 - x);
            uint8_t* to = surface.pixels + static_cast<size_t>(r) * surface.width + x0;
            for (int64_t c = 0; c < x1 - x0; ++c) to[c] = std::max(to[c], from[c]);
        }
        Grow(box, int32_t(x0), int32_t(x1), int32_t(y0), int32_t(y1));
    }

    struct SpanTarget {
        const CoverageSurface* surface;
        int64_t x, baseline;  // the pen's pixel on the surface
        CoverageBox* box;
    };

    // Spans come in the outline's coordinates: x from the pen, y upwards from the baseline.
    static void WriteSpans(int y, int count, const FT_Span* spans, void* user) {
        const auto& target = *static_cast<SpanTarget*>(user);
        const int64_t row = target.baseline - y;
        if (row < 0 || row >= target.surface->height) return;
        uint8_t* line = target.surface->pixels + static_cast<size_t>(row) * target.surface->width;
        for (int i = 0; i < count; ++i) {
            const int64_t x0 = std::max<int64_t>(target.x + spans[i].x, 0);
            const int64_t x1 = std::min<int64_t>(target.x + spans[i].x + spans[i].len, target.surface->width);
            for (int64_t c = x0; c < x1; ++c) line[c] = std::max(line[c], spans[i].coverage);
            Grow(*target.box, int32_t(x0), int32_t(x1), int32_t(row), int32_t(row + 1));
        }
    }

    // A glyph too big to keep: rasterised straight onto the surface, only where it is seen.
    void DrawOutline(const GlyphSet& set, char32_t c, int64_t x, int64_t baseline,
                     const CoverageSurface& surface, CoverageBox& box) {
        // A glyph reaches no further than a few cell heights from its pen.
        const int64_t reach = int64_t{4} * set.cell_height;
        if (x > surface.width + reach || x < -reach || baseline < -reach ||
            baseline > surface.height + reach) {
            return;
        }
        if (!LoadOutline(set, c)) return;
        SpanTarget target{&surface, x, baseline, &box};
        FT_Raster_Params params{};
        params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
        params.gray_spans = WriteSpans;
        params.user = &target;
        // The surface in the outline's coordinates.
        params.clip_box.xMin = static_cast<FT_Pos>(-x);
        params.clip_box.xMax = static_cast<FT_Pos>(surface.width - x);
        params.clip_box.yMin = static_cast<FT_Pos>(baseline - surface.height);
        params.clip_box.yMax = static_cast<FT_Pos>(baseline + 1);
        FT_Outline_Render(library_, &faces_[set.face].face->glyph->outline, &params);
    }

    // Full coverage over columns [x0, x1) of `rows` rows from `top`.
    static void FillRows(int64_t x0, int64_t x1, int64_t top, int64_t rows, const CoverageSurface& surface,
                         CoverageBox& box) {
        const int64_t c0 = std::max<int64_t>(x0, 0), c1 = std::min<int64_t>(x1, surface.width);
        const int64_t r0 = std::max<int64_t>(top, 0), r1 = std::min<int64_t>(top + rows, surface.height);
        if (c0 >= c1 || r0 >= r1) return;
        for (int64_t r = r0; r < r1; ++r) {
            memset(surface.pixels + static_cast<size_t>(r) * surface.width + c0, 255, static_cast<size_t>(c1 - c0));
        }
        Grow(box, int32_t(c0), int32_t(c1), int32_t(r0), int32_t(r1));
    }

    FcConfig* config_ = nullptr;
    FT_Library library_ = nullptr;
    std::vector<Face> faces_;
    std::vector<Style> styles_;
    std::vector<std::unique_ptr<GlyphSet>> sets_;
    size_t glyph_bytes_ = 0;
    uint64_t clock_ = 0;
    // Reused from draw to draw.
    std::u32string characters_;
    std::vector<Placed> placed_;
    std::string family_, key_;
};

}  // namespace

TextRenderer& SystemTextRenderer() {
    static FreeTypeRenderer renderer;
    return renderer;
}

}  // namespace kinetra
