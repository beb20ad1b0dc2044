// The pictures of a file's video stream as the frames of an edit: numbered from 0 at a constant
// rate (a variable-rate stream is held at its average rate: frames repeated or dropped by their
// time), each decoded on request with random access, by seeking to the key frame before it and
// decoding forward.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "kinetra/media/colour.h"
#include "kinetra/media/ffmpeg.h"

namespace kinetra::media {

struct VideoFormat {
    int width = 0;
    int height = 0;
    AVRational frame_rate{0, 1};  // frames per second of the edit
    int32_t frame_count = 0;
    ColourSpace colour;           // as the stream is tagged, or as FFmpeg takes it when it is not
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorSpace matrix_tag = AVCOL_SPC_UNSPECIFIED;  // the colour space's own tag
    std::string codec_name;
    int bits = 8;                 // the depth of the stream's pictures
    AVRational pixel_aspect{1, 1};  // a pixel's width over its height, as players show it
    std::vector<std::pair<std::string, std::string>> tags;  // the file's own: title, location...

    int64_t start_time = 0;       // the first picture's time, in AV_TIME_BASE units
    int rotation = 0;             // clockwise degrees to turn a picture to show it: 0, 90, 180 or 270
};

class VideoDecoder {
public:
    // Opens the first video stream of `path`; false with `error` set when it cannot be decoded,
    // false with `error` empty when the file has no video stream. `threads` as for OpenDecoder.
    bool Open(const std::string& path, int threads, std::string& error);
    // What Open learns of the stream (its format and the index of its pictures) without readying
    // to decode, as OpenLike reads it.
    bool Probe(const std::string& path, int threads, std::string& error);
    // Opens the stream `probed` probed or opened, with the index of its pictures taken from it
    // instead of read from the whole file again.
    bool OpenLike(const VideoDecoder& probed, std::string& error);
    const VideoFormat& format() const { return format_; }

    // Frame `frame` (0..frame_count - 1) of the edit into `dest`, whose size may differ from the
    // stream's (the common area is filled). False with `error` set when it cannot be decoded.
    // The frames of the `lookback` before it whose pictures are decoded on the way are handed
    // to `earlier`, which gives a picture to fill with each or one without pixels to pass it.
    using EarlierFrames = std::function<YcPicture(int32_t frame)>;
    bool Read(int32_t frame, const YcPicture& dest, std::string& error, int32_t lookback = 0,
              const EarlierFrames& earlier = {});

    // The stream's picture that edit frame `frame` shows.
    int32_t SourceIndex(int32_t frame) const;
    int32_t source_frames() const { return static_cast<int32_t>(pts_.size()); }

private:
    bool Reopen(std::string& error);
    // Decodes picture `index`; `passing`, when set, sees each picture before it on the way.
    bool DecodeSource(int32_t index, std::string& error, const std::function<bool(std::string&)>& passing = {});
    bool SeekBefore(int32_t index, bool to_start, std::string& error);
    // Decodes the stream's next picture into `picture_`; false at its end or on an error.
    bool DecodeNext(std::string& error);
    int32_t IndexOfPts(int64_t pts) const;
    bool ConvertPicture(const YcPicture& dest, std::string& error);
    // The map from codes of `colour` with `bits` bits, made when first needed.
    YuvToYc& MapFor(const ColourSpace& colour, int bits);

    std::string path_;
    int threads_ = 0;
    InputPtr input_;
    CodecPtr codec_;
    PacketPtr packet_;
    FramePtr picture_;
    FramePtr received_;   // the decoder's next picture, before it becomes `picture_`
    FramePtr converted_;  // pictures the integer maps do not read directly, as 4:4:4
    ScalePtr scale_;
    int stream_index_ = -1;
    VideoFormat format_;
    // For the stream's own matrix and range, and R'G'B' pictures once in 4:4:4: a list, since
    // the maps keep work areas of their own and a decoder meets one or two of them.
    std::vector<YuvToYc> maps_;

    std::vector<int64_t> pts_;        // every picture's time, in presentation order
    std::vector<int32_t> keys_;       // indices of the key pictures, ascending
    std::vector<int64_t> key_seek_;   // where to seek for each of them
    int32_t current_ = -1;            // the picture in `picture_`, -1 for none
    bool ended_ = false;              // the decoder has given its last picture
};

}  // namespace kinetra::media
