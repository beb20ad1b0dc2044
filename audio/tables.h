// The sound commands' argument tables, each to be read beside the table the command is
// specified by.
#pragma once

#include "script/arguments.h"

namespace kinetra::audio {

// copy.cpp and samples.cpp: a whole frame read from one buffer and written into another.
inline constexpr ArgumentSpec kSourceAndDestination[] = {Buffer(1, "source buffer"), Buffer(2, "destination buffer")};

// copy.cpp
inline constexpr ArgumentSpec kCopyFrameArguments[] = {Buffer(1, "destination buffer"),
                                                       FrameNumber(2, "frame of the edit")};
inline constexpr ArgumentSpec kCopyFrameSpanArguments[] = {
    Buffer(1, "destination buffer"), Real(2, "start of the span").Finite().In(Unit::kFrames),
    Real(3, "end of the span").Finite().In(Unit::kFrames)};

// samples.cpp
inline constexpr ArgumentSpec kVolumeArguments[] = {
    Buffer(1, "buffer"),
    Real(2, "gain at the start of the frame")
        .IfZero("every frame starts silent and ramps up: a buzz at the frame rate"),
    Real(3, "gain at the end of the frame")
        .IfZero("the level ramps down to silence inside every frame: a buzz at the frame rate"),
    Integer(4, "channels: 0 both, 1 left only, 2 right only").Within(0, 2)};
inline constexpr ArgumentSpec kBlendArguments[] = {Buffer(1, "source buffer"),
                                                   Buffer(2, "destination buffer, which receives the sum")};
inline constexpr ArgumentSpec kSwapArguments[] = {Buffer(1, "buffer")};
inline constexpr ArgumentSpec kMonoArguments[] = {
    Buffer(1, "buffer"), Integer(2, "mode: 0 mean of both channels, 1 left to both, 2 right to both").Within(0, 2)};

// generators.cpp
inline constexpr ArgumentSpec kNoiseArguments[] = {
    Buffer(1, "buffer"), Real(2, "amplitude, 1 = full scale").Within(0, 1).IfZero("no noise is added")};
inline constexpr ArgumentSpec kToneArguments[] = {
    Buffer(1, "buffer"), Integer(2, "frequency").In(Unit::kHertz).IfZero("no tone sounds"),
    Integer(3, "waveform: 1 square, any other value sine"),
    Real(4, "amplitude, 1 = full scale").Within(0, 1).IfZero("the tone is silent")};

}  // namespace kinetra::audio
