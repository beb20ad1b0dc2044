#include "kinetra/media/frame_cache.h"

#include <algorithm>

namespace kinetra::media {

FrameCache::FrameCache(std::unique_ptr<PictureReader> reader, int width, int height, int32_t source_frames,
                       size_t capacity)
    : reader_(std::move(reader)), width_(width), height_(height), source_frames_(source_frames),
      capacity_(std::max<size_t>(capacity, 1)) {}

size_t FrameCache::CapacityFor(int width, int height) {
    constexpr size_t kBudget = size_t{256} << 20;
    const size_t bytes = std::max<size_t>(static_cast<size_t>(width) * height * sizeof(PixelYC), 1);
    return std::clamp<size_t>(kBudget / bytes, 4, 64);
}

editor::Image& FrameCache::Slot(int32_t frame) {
    if (entries_.size() < capacity_) {
        entries_.push_front({frame, editor::Image(width_, height_)});
    } else {
        entries_.splice(entries_.begin(), entries_, std::prev(entries_.end()));
        entries_.front().frame = frame;
    }
    return entries_.front().picture;
}

const PixelYC* FrameCache::Fetch(int32_t frame, std::string& error) {
    fetched_ = true;
    if (frame < 0 || frame >= source_frames_) return nullptr;
    const auto found = std::find_if(entries_.begin(), entries_.end(), [frame](const Entry& e) { return e.frame == frame; });
    if (found != entries_.end()) {
        entries_.splice(entries_.begin(), entries_, found);
        return entries_.front().picture.pixels.data();
    }
    editor::Image& picture = Slot(frame);
    ++decoded_;
    if (!reader_ || !reader_->Read(frame, picture, error)) {
        entries_.front().frame = -1;  // holds no frame
        return nullptr;
    }
    return picture.pixels.data();
}

void FrameCache::Offer(int32_t frame, const editor::Image& picture) {
    if (!fetched_ || frame < 0 || frame >= source_frames_) return;
    const auto found = std::find_if(entries_.begin(), entries_.end(), [frame](const Entry& e) { return e.frame == frame; });
    if (found != entries_.end()) {
        entries_.splice(entries_.begin(), entries_, found);
        return;
    }
    std::copy(picture.pixels.begin(), picture.pixels.end(), Slot(frame).pixels.begin());
}

}  // namespace kinetra::media
