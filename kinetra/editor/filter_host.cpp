#include "kinetra/editor/filter_host.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/mman.h>
#endif

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kinetra::editor {
namespace {

FilterHost* HostOf(void* edit) { return static_cast<FilterHost*>(edit); }

// The system's loader, as the editor uses it on its own system.
#ifdef _WIN32
// Windows' loader wants backslashes in a path.
std::string NativePath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}
void* OpenLibrary(const std::string& path) { return LoadLibraryA(NativePath(path).c_str()); }
void* FindExport(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void CloseLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
std::string LoaderError() { return "error " + std::to_string(GetLastError()); }
#else
void* OpenLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* FindExport(void* library, const char* name) { return dlsym(library, name); }
void CloseLibrary(void* library) { dlclose(library); }
std::string LoaderError() { return dlerror(); }
#endif

// Pixels of a width x height image; a size the address space cannot hold is an error, not a
// smaller image.
size_t PixelCount(int32_t width, int32_t height) {
    size_t count;
    if (__builtin_mul_overflow(static_cast<size_t>(std::max(width, 0)),
                               static_cast<size_t>(std::max(height, 0)), &count)) {
        throw std::length_error("image of " + std::to_string(width) + " x " + std::to_string(height) +
                                " pixels is too large");
    }
    return count;
}

// A picture is megabytes, touched first when it is filled: with the system's 2 MiB pages that
// is one page fault where 4 KiB pages take 512, which in a virtual machine cost more than the
// filling itself. Advice only: where the system has no such pages nothing changes.
void AdviseLargePages(void* block, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
    const uintptr_t start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t first = (start + kLargePage - 1) & ~(kLargePage - 1);
    const uintptr_t end = (start + bytes) & ~(kLargePage - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

}  // namespace

Image::Image(int32_t width, int32_t height, PixelYC fill) : max_width(width), max_height(height) {
    const size_t count = PixelCount(width, height);
    pixels.reserve(count);
    AdviseLargePages(pixels.data(), count * sizeof(PixelYC));
    pixels.assign(count, fill);
}

std::unique_ptr<FilterHost> FilterHost::Load(const std::string& path, std::string& error) {
    void* library = OpenLibrary(path);
    if (!library) {
        error = "cannot load plug-in " + path + ": " + LoaderError();
        return nullptr;
    }
    auto get_table = reinterpret_cast<GetFilterTableFn>(FindExport(library, "GetFilterTable"));
    std::unique_ptr<FilterHost> host = get_table ? Attach(get_table) : nullptr;
    if (!host) {
        error = "plug-in " + path + " has no filter table";
        CloseLibrary(library);
        return nullptr;
    }
    host->library_ = library;
    return host;
}

std::unique_ptr<FilterHost> FilterHost::Attach(GetFilterTableFn get_table) {
    const FilterTable* table = get_table();
    if (!table) return nullptr;
    std::unique_ptr<FilterHost> host(new FilterHost);
    host->description_ = table;
    host->record_ = *table;
    for (int t = 0; t < KINETRA_TRACK_COUNT && t < table->track_count; ++t) {
        host->tracks[t] = table->track_defaults[t];
    }
    host->record_.track_values = host->tracks.data();
    host->services_.set_edit_length = SetEditLength;
    host->services_.query_edit_file = QueryEditFile;
    host->services_.read_frame_audio = ReadFrameAudio;
    host->services_.prepare_frame_fetch = PrepareFrameFetch;
    host->services_.fetch_frame_image = FetchFrameImage;
    host->record_.services = &host->services_;
    return host;
}

FilterHost::~FilterHost() {
    if (library_) CloseLibrary(library_);
}

bool FilterHost::IsLoaded(const std::string& path) {
#ifdef _WIN32
    return GetModuleHandleA(NativePath(path).c_str()) != nullptr;
#else
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (library) dlclose(library);
    return library != nullptr;
#endif
}

int32_t FilterHost::UpdateSettings() { return record_.update(&record_, 0); }

int32_t FilterHost::Process(FrameContext& frame) {
    frame.edit_handle = this;
    return record_.process(&record_, &frame);
}

int32_t FilterHost::Exit() { return record_.exit(&record_); }

namespace {

// The services below run inside a plug-in's frame: whatever they call must not unwind into it.
template <typename Result, typename Call>
Result Guarded(FilterHost* host, Result unavailable, Call call) {
    try {
        return call();
    } catch (...) {
        if (!host->failure) host->failure = std::current_exception();
        return unavailable;
    }
}

}  // namespace

int32_t KINETRA_CALL FilterHost::SetEditLength(void* edit, int32_t frames) {
    FilterHost* host = HostOf(edit);
    return Guarded(host, 0, [&] {
        host->lengthen_requests.push_back(frames);
        return 1;
    });
}

int32_t KINETRA_CALL FilterHost::QueryEditFile(void* edit, EditFileInfo* info) {
    FilterHost* host = HostOf(edit);
    info->path = host->edited_path.c_str();
    info->sampling_rate = host->sampling_rate;
    return 1;
}

int32_t KINETRA_CALL FilterHost::ReadFrameAudio(FilterTable*, void* edit, int32_t frame,
                                                int16_t* dest) {
    FilterHost* host = HostOf(edit);
    return Guarded(host, 0, [&] { return host->frame_audio ? host->frame_audio(frame, dest) : 0; });
}

int32_t KINETRA_CALL FilterHost::PrepareFrameFetch(FilterTable*, int32_t, int32_t, int32_t, int32_t) {
    return 1;
}

PixelYC* KINETRA_CALL FilterHost::FetchFrameImage(FilterTable*, void* edit, int32_t frame, int32_t,
                                                  int32_t) {
    FilterHost* host = HostOf(edit);
    // The editor hands out its own copy, valid until the next fetch.
    const PixelYC* image = Guarded<const PixelYC*>(host, nullptr, [&] {
        return host->frame_image ? host->frame_image(frame) : nullptr;
    });
    return const_cast<PixelYC*>(image);
}

VideoFrame::VideoFrame(int32_t width, int32_t height, int32_t frame, int32_t frame_count)
    : edit(width, height), scratch(width, height) {
    context.width = width;
    context.height = height;
    context.max_width = width;
    context.max_height = height;
    context.frame = frame;
    context.frame_count = frame_count;
    Prepare();
}

FrameContext& VideoFrame::Prepare() {
    context.edit_image = edit.pixels.data();
    context.scratch_image = scratch.pixels.data();
    return context;
}

}  // namespace kinetra::editor
