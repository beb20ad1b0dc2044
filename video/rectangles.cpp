#include "video/rectangles.h"

#include <cstring>

namespace kinetra::video {

bool Overlap(const Region& a, const Region& b) {
    return !a.empty() && !b.empty() && a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

Region Union(const Region& a, const Region& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return {std::min(a.x0, b.x0), std::max(a.x1, b.x1), std::min(a.y0, b.y0), std::max(a.y1, b.y1)};
}

Region ClipRegion(int32_t x0, int32_t y0, int32_t w, int32_t h, ImageSize size) {
    const int64_t width = size.width, height = size.height;
    return {static_cast<int32_t>(ClampToLimit<int64_t>(x0, width)),
            static_cast<int32_t>(ClampToLimit<int64_t>(int64_t{x0} + w, width)),
            static_cast<int32_t>(ClampToLimit<int64_t>(y0, height)),
            static_cast<int32_t>(ClampToLimit<int64_t>(int64_t{y0} + h, height))};
}

RectangleMap::RectangleMap(int32_t sx, int32_t sy, int32_t w, int32_t h, ImageSize size)
    : sx_(sx), sy_(sy), w_(w), h_(h), size_(size) {
    u1 = std::max(w, 0);
    v1 = std::max(h, 0);
    Keep(-int64_t{sx}, int64_t{size.width} - sx, -int64_t{sy}, int64_t{size.height} - sy);
}

// Offsets u with 0 <= c + u < limit form [-c, limit - c); mirrored ones, c + (w - 1 - u), form
// [c + w - limit, c + w).
void RectangleMap::Destination(int32_t dx, int32_t dy, Mirror mirror) {
    dx_ = dx;
    dy_ = dy;
    mirror_ = mirror;
    const int64_t w = w_, h = h_, width = size_.width, height = size_.height;
    int64_t lo_u = -int64_t{dx}, hi_u = width - dx, lo_v = -int64_t{dy}, hi_v = height - dy;
    if (mirror == Mirror::kLeftToRight) {
        lo_u = dx + w - width;
        hi_u = dx + w;
    } else if (mirror == Mirror::kTopToBottom) {
        lo_v = dy + h - height;
        hi_v = dy + h;
    }
    Keep(lo_u, hi_u, lo_v, hi_v);
}

void RectangleMap::Also(int32_t kx, int32_t ky) {
    Keep(-int64_t{kx}, int64_t{size_.width} - kx, -int64_t{ky}, int64_t{size_.height} - ky);
}

void RectangleMap::Keep(int64_t lo_u, int64_t hi_u, int64_t lo_v, int64_t hi_v) {
    // A non-empty kept range lies inside [0, w) and [0, h), so it always fits 32 bits.
    const int64_t a_u = std::max<int64_t>(u0, lo_u), b_u = std::min<int64_t>(u1, hi_u);
    const int64_t a_v = std::max<int64_t>(v0, lo_v), b_v = std::min<int64_t>(v1, hi_v);
    if (a_u >= b_u || a_v >= b_v) {
        u0 = u1 = v0 = v1 = 0;
        return;
    }
    u0 = static_cast<int32_t>(a_u);
    u1 = static_cast<int32_t>(b_u);
    v0 = static_cast<int32_t>(a_v);
    v1 = static_cast<int32_t>(b_v);
}

int32_t RectangleMap::DestinationX(int32_t u) const {
    if (mirror_ == Mirror::kLeftToRight) return static_cast<int32_t>(int64_t{dx_} + (w_ - 1 - u));
    return static_cast<int32_t>(int64_t{dx_} + u);
}

int32_t RectangleMap::DestinationY(int32_t v) const {
    if (mirror_ == Mirror::kTopToBottom) return static_cast<int32_t>(int64_t{dy_} + (h_ - 1 - v));
    return static_cast<int32_t>(int64_t{dy_} + v);
}

Region RectangleMap::SourceRegion() const {
    if (empty()) return {};
    return {SourceX(u0), SourceX(u1 - 1) + 1, SourceY(v0), SourceY(v1 - 1) + 1};
}

Region RectangleMap::DestinationRegion() const {
    if (empty()) return {};
    const int32_t xa = DestinationX(u0), xb = DestinationX(u1 - 1);
    const int32_t ya = DestinationY(v0), yb = DestinationY(v1 - 1);
    return {std::min(xa, xb), std::max(xa, xb) + 1, std::min(ya, yb), std::max(ya, yb) + 1};
}

Region RectangleMap::AlsoRegion(int32_t kx, int32_t ky) const {
    if (empty()) return {};
    return {AlsoX(kx, u0), AlsoX(kx, u1 - 1) + 1, AlsoY(ky, v0), AlsoY(ky, v1 - 1) + 1};
}

const PixelYC* ReadBeforeWriting(const ImageArguments& args, const PixelYC* source,
                                 const PixelYC* destination, const Region& region_read,
                                 const Region& region_written) {
    if (source != destination || !Overlap(region_read, region_written)) return source;
    auto* work = static_cast<PixelYC*>(args.call->buffers.work_area);
    if (!work) return source;  // never the case once the buffer table is filled
    const int32_t stride = args.size.width;
    const size_t bytes = static_cast<size_t>(region_read.columns()) * sizeof(PixelYC);
    RowLoop(region_read.y0, region_read.rows(), args.threads, [&](int32_t y) {
        const size_t at = PixelIndex(region_read.x0, y, stride);
        memcpy(work + at, source + at, bytes);
    });
    return work;
}

void ReadBeforeWriting(const ImageArguments& args, const PixelYC*& first, const Region& first_read,
                       const PixelYC*& second, const Region& second_read,
                       const PixelYC* destination, const Region& region_written) {
    const bool first_hit = first == destination && Overlap(first_read, region_written);
    const bool second_hit = second == destination && Overlap(second_read, region_written);
    if (first == second && (first_hit || second_hit)) {
        // One buffer read twice: keep both regions, so both reads see it as it was.
        const PixelYC* copy = ReadBeforeWriting(args, first, destination,
                                                Union(first_read, second_read), region_written);
        first = second = copy;
        return;
    }
    if (first_hit) first = ReadBeforeWriting(args, first, destination, first_read, region_written);
    if (second_hit) second = ReadBeforeWriting(args, second, destination, second_read, region_written);
}

MappedPlan::MappedPlan(const ImageArguments& args, const Placement& at, const PixelYC* from,
                       PixelYC* to, AlsoRead second, Mirror mirror)
    : map(at.sx, at.sy, at.w, at.h, args.size), source(from), destination(to), also(second) {
    map.Destination(at.dx, at.dy, mirror);
    if (also.image) map.Also(also.x, also.y);
    if (map.empty()) return;
    const bool in_place = source == destination && mirror == Mirror::kNone && at.sx == at.dx && at.sy == at.dy;
    if (also.image && in_place) {
        also.image = ReadBeforeWriting(args, also.image, destination, map.AlsoRegion(also.x, also.y),
                                       map.DestinationRegion());
    } else if (also.image) {
        ReadBeforeWriting(args, source, map.SourceRegion(), also.image, map.AlsoRegion(also.x, also.y),
                          destination, map.DestinationRegion());
    } else if (!in_place) {
        source = ReadBeforeWriting(args, source, destination, map.SourceRegion(), map.DestinationRegion());
    }
}

}  // namespace kinetra::video
