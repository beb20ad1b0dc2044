// The picture commands' argument tables, each to be read beside the table the command is
// specified by. The rows that place a rectangle are shared, so that every command names a
// source, a destination, a corner and a size alike.
#pragma once

#include <array>
#include <cstdint>

#include "script/arguments.h"

namespace kinetra::video {

// A buffer a rectangle lies in: how the buffer's argument and its corner's are named.
struct Whose {
    const char* buffer;
    const char* column;
    const char* row;
};
inline constexpr Whose kSource{"source buffer", "source left column", "source top row"};
inline constexpr Whose kDestination{"destination buffer", "destination left column", "destination top row"};
inline constexpr Whose kKey{"key buffer", "key left column", "key top row"};
inline constexpr Whose kMask{"mask buffer", "mask left column", "mask top row"};
inline constexpr Whose kInPlace{"buffer", "left column", "top row"};

// A rectangle's top-left corner in `whose` buffer: its column is argument n, its row n + 1.
constexpr std::array<ArgumentSpec, 2> Corner(int n, const Whose& whose) {
    return {Pixels(n, whose.column), Pixels(n + 1, whose.row)};
}

// A rectangle's width (argument n) and height (n + 1), limited to the image.
constexpr std::array<ArgumentSpec, 2> Size(int n) { return {Width(n, "width"), Height(n + 1, "height")}; }

// A rectangle of the source buffer placed on the destination buffer: the first eight arguments
// of most commands that move pictures, and all of copy's, flipv's and fliph's.
inline constexpr auto kPlacement = Rows(Buffer(1, kSource.buffer), Buffer(2, kDestination.buffer), Corner(3, kSource),
                                        Size(5), Corner(7, kDestination));

// The placement with a third buffer (a key or a mask) as argument 3, read at a corner of its
// own after the rectangle.
constexpr auto PlacementWith(const Whose& third) {
    return Rows(Buffer(1, kSource.buffer), Buffer(2, kDestination.buffer), Buffer(3, third.buffer),
                Corner(4, kSource), Size(6), Corner(8, kDestination), Corner(10, third));
}

inline constexpr char kTransparent[] = "nothing is blended (fully transparent)";

// copy.cpp
inline constexpr auto kCopyFrameArguments = Rows(Buffer(1, kDestination.buffer), FrameNumber(2, "frame of the edit"),
                                                 Corner(3, kSource), Size(5), Corner(7, kDestination));
inline constexpr auto kCopy2Arguments = Rows(kPlacement, Level(9, "luma threshold"));
inline constexpr auto kCopy3Arguments = Rows(PlacementWith(kKey), Level(12, "luma threshold"));

// blend.cpp
inline constexpr auto kMaskArguments =
    Rows(Buffer(1, kSource.buffer), Buffer(2, kMask.buffer), Corner(3, kSource), Size(5), Corner(7, kMask),
         Level(9, "lowest y or R"), Level(10, "lowest cb or G"), Level(11, "lowest cr or B"),
         Level(12, "highest y or R"), Level(13, "highest cb or G"), Level(14, "highest cr or B"),
         Level(15, "value inside"), Level(16, "value outside"));
inline constexpr auto kAlphaArguments = Rows(kPlacement, Fraction(9, "opacity").IfZero(kTransparent));
inline constexpr auto kAlpha2Arguments =
    Rows(kPlacement, Fraction(9, "opacity").IfZero(kTransparent), Level(10, "luma threshold"));
inline constexpr auto kAlpha3Arguments =
    Rows(PlacementWith(kKey), Fraction(12, "opacity").IfZero(kTransparent), Level(13, "luma threshold"));
inline constexpr auto kAlpha4Arguments = PlacementWith(kMask);

// color.cpp
inline constexpr auto kColorArguments =
    Rows(Buffer(1, "buffer, changed in place"), Corner(2, kInPlace), Size(4), Fraction(6, "gain of y or R"),
         Fraction(7, "gain of cb or G"), Fraction(8, "gain of cr or B"), Fraction(9, "offset of y or R"),
         Fraction(10, "offset of cb or G"), Fraction(11, "offset of cr or B"));

// fill.cpp. The display size is at least the smallest picture, and at most the image (checked
// by hand: it changes by frame).
inline constexpr int32_t kSmallestPicture = 16;
inline constexpr ArgumentSpec kDisplaySizeArguments[] = {Pixels(1, "width").AtLeast(kSmallestPicture),
                                                         Pixels(2, "height").AtLeast(kSmallestPicture)};
inline constexpr auto kFillArguments = Rows(Buffer(1, kInPlace.buffer), Corner(2, kInPlace), Size(4),
                                            Level(6, "colour y"), Level(7, "colour cb"), Level(8, "colour cr"));
inline constexpr auto kFillWhereMaskArguments =
    Rows(Buffer(1, kDestination.buffer), Buffer(2, kMask.buffer), Corner(3, kDestination), Size(5),
         Level(7, "colour y"), Level(8, "colour cb"), Level(9, "colour cr"), Corner(10, kMask), Level(12, "threshold"));

// geometry.cpp. The rotated size is checked, not limited: the centre and the margins use the
// size as given. An angle that is not finite is no rotation to speak of.
inline constexpr auto kResizeArguments =
    Rows(Buffer(1, kSource.buffer), Buffer(2, kDestination.buffer), Corner(3, kSource), Width(5, "source width"),
         Height(6, "source height"), Corner(7, kDestination), Width(9, "destination width"),
         Height(10, "destination height"));
inline constexpr auto kRotateArguments =
    Rows(Buffer(1, kSource.buffer), Buffer(2, kDestination.buffer), Real(3, "angle").Finite().In(Unit::kRadians),
         Corner(4, kSource), Pixels(6, "width").AtLeast(1), Pixels(7, "height").AtLeast(1), Corner(8, kDestination));

// blur.cpp
inline constexpr auto kMosaicArguments = Rows(kPlacement, Pixels(9, "cell width"), Pixels(10, "cell height"));
inline constexpr auto kDefocusArguments = Rows(kPlacement, Pixels(9, "window width"), Pixels(10, "window height"));
inline constexpr auto kDiffuseArguments = Rows(kPlacement, Pixels(9, "reach x"), Pixels(10, "reach y"));

// curves.cpp
inline constexpr auto kGammaArguments = Rows(Buffer(1, kInPlace.buffer), Corner(2, kInPlace), Size(4),
                                             Real(6, "gamma of y"), Real(7, "gamma of cb"), Real(8, "gamma of cr"));
inline constexpr auto kPosterizeArguments = Rows(kPlacement, Integer(9, "levels of y or R"),
                                                 Integer(10, "levels of cb or G"), Integer(11, "levels of cr or B"));

// text.cpp. The face name and the string are text, read from the line.
inline constexpr ArgumentSpec kFontArguments[] = {
    String(1, "face name"), Pixels(2, "cell height"), Integer(3, "bold"), Integer(4, "italic"), Integer(5, "underline"),
    Level(6, "colour y"), Level(7, "colour cb"), Level(8, "colour cr")};
inline constexpr ArgumentSpec kTextArguments[] = {
    Buffer(1, "buffer"), Pixels(2, "x"), Pixels(3, "top y"), Integer(4, "alignment: left, centre, right").Within(0, 2),
    String(5, "string")};

// ellipse.cpp
inline constexpr ArgumentSpec kEllipseArguments[] = {
    Buffer(1, "buffer"), Pixels(2, "centre x"), Pixels(3, "centre y"), Pixels(4, "radius a").AtLeast(1),
    Pixels(5, "radius b").AtLeast(1), Level(6, "colour y"), Level(7, "colour cb"), Level(8, "colour cr")};

}  // namespace kinetra::video
