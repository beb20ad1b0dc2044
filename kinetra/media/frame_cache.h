// The source frames a script fetches (FetchFrameImage), kept converted so that a script reading
// f - 1, or one fixed frame, decodes nothing twice. The frames the render reads in order are
// offered to it once a script has fetched anything, so f - 1 is always there. The frames just
// before a fetched one that the decoder passes on its way from the key frame are kept as well,
// so that a script walking backwards decodes a run of pictures once, not once a frame.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "kinetra/editor/filter_host.h"
#include "kinetra/media/edit_source.h"

namespace kinetra::media {

class FrameCache {
public:
    // Frames of `width` x `height` pixels, at most `capacity` of them kept.
    FrameCache(std::unique_ptr<PictureReader> reader, int width, int height, int32_t source_frames, size_t capacity);

    // Frame `frame` of the source, valid until the next call; null outside the source, or with
    // `error` set when it cannot be decoded.
    const PixelYC* Fetch(int32_t frame, std::string& error);
    // A frame the render has just read in order; kept only once a script fetches frames.
    void Offer(int32_t frame, const editor::Image& picture);
    // Frames decoded here rather than found (for tests and the summary).
    int64_t decoded() const { return decoded_; }

    // How many frames of `width` x `height` the cache keeps: a budget of memory, 4 at least.
    static size_t CapacityFor(int width, int height);

private:
    struct Entry {
        int32_t frame;
        editor::Image picture;
    };
    Entry& Slot(int32_t frame);  // the least recently used entry, given to `frame`
    bool Holds(int32_t frame) const;

    std::unique_ptr<PictureReader> reader_;
    int width_, height_;
    int32_t source_frames_;
    size_t capacity_;
    std::list<Entry> entries_;  // most recently used first
    bool fetched_ = false;
    int32_t last_fetched_ = -1;  // the frame of the last fetch that decoded
    int64_t decoded_ = 0;
};

}  // namespace kinetra::media
