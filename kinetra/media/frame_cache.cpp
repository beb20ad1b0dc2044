#include "kinetra/media/frame_cache.h"

#include <algorithm>
#include <vector>

#include "kinetra/editor/fault_injection.h"

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

FrameCache::Entry& FrameCache::Slot(int32_t frame) {
    if (entries_.size() < capacity_) {
        editor::AllocationPoint("cache");
        entries_.push_front({frame, editor::Image(width_, height_)});
    } else {
        entries_.splice(entries_.begin(), entries_, std::prev(entries_.end()));
        entries_.front().frame = frame;
    }
    return entries_.front();
}

bool FrameCache::Holds(int32_t frame) const {
    return std::any_of(entries_.begin(), entries_.end(), [frame](const Entry& e) { return e.frame == frame; });
}

const PixelYC* FrameCache::Fetch(int32_t frame, std::string& error) {
    fetched_ = true;
    if (frame < 0 || frame >= source_frames_) return nullptr;
    const auto found = std::find_if(entries_.begin(), entries_.end(), [frame](const Entry& e) { return e.frame == frame; });
    if (found != entries_.end()) {
        entries_.splice(entries_.begin(), entries_, found);
        return entries_.front().picture.pixels.data();
    }
    Entry& target = Slot(frame);
    ++decoded_;
    // A script that went back in the edit may go on backwards: the frames before this one are
    // kept as the decoder passes them. They take the other entries at most, so the target keeps
    // its own.
    const bool backwards = frame < last_fetched_;
    last_fetched_ = frame;
    std::vector<Entry*> earlier;
    const PictureReader::Earlier keep{backwards ? static_cast<int32_t>(capacity_ - 1) : 0, [&](int32_t f) -> editor::Image* {
        if (Holds(f)) return nullptr;
        earlier.push_back(&Slot(f));
        return &earlier.back()->picture;
    }};
    if (!reader_ || !reader_->Read(frame, target.picture, error, keep)) {
        target.frame = -1;  // holds no frame, nor do those filled on the way
        for (Entry* entry : earlier) entry->frame = -1;
        return nullptr;
    }
    return target.picture.pixels.data();
}

void FrameCache::Offer(int32_t frame, const editor::Image& picture) {
    if (!fetched_ || frame < 0 || frame >= source_frames_) return;
    const auto found = std::find_if(entries_.begin(), entries_.end(), [frame](const Entry& e) { return e.frame == frame; });
    if (found != entries_.end()) {
        entries_.splice(entries_.begin(), entries_, found);
        return;
    }
    std::copy(picture.pixels.begin(), picture.pixels.end(), Slot(frame).picture.pixels.begin());
}

}  // namespace kinetra::media
