// What a script does over a span of frames, read with the plug-ins' own loader and formula
// engine: which file line each statement comes from and the frames it covers, and each
// argument's value at each frame, for tools that draw a script's formulas.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kinetra/filter_abi.h"

namespace kinetra::check {

struct StatementOutline {
    int32_t line = 0;  // from 1
    int32_t first_frame = 0, last_frame = 0;
    std::string command;  // "A=" for an assignment
};

// The statements of `bytes`, in the order the plug-ins run them.
std::vector<StatementOutline> OutlineScript(std::string_view bytes);

struct CurveOptions {
    int32_t first_frame = 0, last_frame = 0;
    int32_t width = 1920, height = 1080;
    int32_t frame_count = 1;  // the edit's length, which the formulas see as m
    std::array<int32_t, KINETRA_TRACK_COUNT> tracks{};  // the track bars' values
};

struct ArgumentCurves {
    std::string command;                 // "A=" for an assignment
    std::vector<std::string> formulas;  // each argument's text
    std::vector<std::string> names;     // each argument's meaning in the command's table; "" where none
    // values[argument][frame - first_frame]: empty where the line does not run or the
    // formula fails there.
    std::vector<std::vector<std::optional<double>>> values;
};

// Frames one request evaluates at most.
constexpr int32_t kMostCurveFrames = 5000;

// Each argument of the statement on `line` (from 1) at every frame of the options' span, the
// variables carried from frame to frame as the plug-ins carry them. False with `error` set
// when no statement comes from that line or the span is empty or too long.
bool EvaluateCurves(std::string_view bytes, int32_t line, const CurveOptions& options, ArgumentCurves& curves,
                    std::string& error);

}  // namespace kinetra::check
