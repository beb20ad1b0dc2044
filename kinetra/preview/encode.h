// A frame's picture and sound as the files a browser shows and plays: PNG and JPEG through
// FFmpeg's own encoders, WAV as 16-bit PCM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kinetra/editor/filter_host.h"

namespace kinetra::preview {

enum class PictureFormat { kPng, kJpeg };

// `picture` as a file of `format` into `bytes`; false with `error` set when the encoder fails.
// PNG holds full-range R'G'B' exactly as a PNG sequence of the render does.
bool EncodePicture(const editor::Image& picture, PictureFormat format, std::string& bytes, std::string& error);

// Interleaved 16-bit samples as a WAV file.
std::string EncodeWave(const std::vector<int16_t>& samples, int channels, int32_t sampling_rate);

}  // namespace kinetra::preview
