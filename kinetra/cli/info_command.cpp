#include "kinetra/cli/info_command.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kinetra/cli/plugins.h"
#include "kinetra/editor/filter_host.h"
#include "kinetra/editor/frame_timing.h"
#include "kinetra/media/edit_source.h"

namespace kinetra::cli {
namespace fs = std::filesystem;
namespace {

bool ShowPlugin(const fs::path& file) {
    std::string error;
    const std::unique_ptr<editor::FilterHost> plugin = editor::FilterHost::Load(file.string(), error);
    if (!plugin) {
        fprintf(stderr, "kinetra: %s\n", error.c_str());
        return false;
    }
    const FilterTable& t = plugin->description();
    printf("%s: %s\n", file.string().c_str(), ShiftJisToUtf8(t.name).c_str());
    printf("  flags       0x%x%s%s\n", static_cast<unsigned>(t.flags),
           t.flags & KINETRA_FLAG_INFORMATION ? " (information text)" : "",
           t.flags & KINETRA_FLAG_AUDIO ? " (works on sound)" : "");
    if (t.flags & KINETRA_FLAG_INFORMATION) printf("  information %s\n", ShiftJisToUtf8(t.information).c_str());
    printf("  track bars  %d\n", t.track_count);
    for (int i = 0; i < t.track_count && i < KINETRA_TRACK_COUNT; ++i) {
        printf("    %2d  %-12s default %5d  range %d..%d\n", i, ShiftJisToUtf8(t.track_names[i]).c_str(),
               t.track_defaults[i], t.track_minimums[i], t.track_maximums[i]);
    }
    plugin->Exit();
    return true;
}

bool ShowInput(const std::string& path, int32_t sampling_rate) {
    if (const std::string why = UnreadableFile(path); !why.empty()) {
        fprintf(stderr, "kinetra: %s\n", why.c_str());
        return false;
    }
    std::string error;
    const std::unique_ptr<media::EditSource> source =
        media::OpenFileSource(path, {{sampling_rate, false}}, AVRational{30, 1}, error);
    if (!source) {
        fprintf(stderr, "kinetra: %s\n", error.c_str());
        return false;
    }
    const media::EditFormat& f = source->format();
    printf("%s\n", path.c_str());
    if (f.has_pictures) {
        const media::ColourSpace& c = f.video.colour;
        const char* matrix = c == media::ColourSpace::Bt709(c.full_range)   ? "BT.709"
                             : c == media::ColourSpace::Bt2020(c.full_range) ? "BT.2020"
                                                                              : "BT.601";
        // Depth and pixel shape only where they are not the common 8 bits and square.
        std::string depth = f.video.bits > 8 ? std::to_string(f.video.bits) + "-bit, " : "";
        const AVRational aspect = f.video.pixel_aspect;
        std::string shape;
        if (aspect.num != aspect.den) {
            shape = ", pixels " + std::to_string(aspect.num) + ":" + std::to_string(aspect.den) + " (shown " +
                    std::to_string(f.video.width * aspect.num / aspect.den) + "x" + std::to_string(f.video.height) + ")";
        }
        printf("  pictures    %dx%d, %s, %s%s %s range%s\n", f.width, f.height, f.video.codec_name.c_str(), depth.c_str(),
               matrix, c.full_range ? "full" : "limited", shape.c_str());
        if (f.rotation) {
            const char* turn = f.rotation == 90 ? "90 degrees clockwise" : f.rotation == 180 ? "180 degrees"
                                                                                             : "90 degrees counter-clockwise";
            printf("  rotation    %s, from %dx%d as stored (render --no-autorotate keeps it so)\n", turn,
                   f.video.width, f.video.height);
        }
    } else {
        printf("  pictures    none (sound alone: frames at %d/%d fps)\n", f.frame_rate.num, f.frame_rate.den);
    }
    printf("  frames      %d at %d/%d fps (%.6g)\n", f.frame_count, f.frame_rate.num, f.frame_rate.den,
           av_q2d(f.frame_rate));
    const media::SoundTrack& sound = source->sound();
    if (!f.has_sound) {
        printf("  sound       none\n");
        return true;
    }
    printf("  sound       %s, handed over at %d Hz, %d channel%s, %lld samples per channel\n",
           sound.description().c_str(), sound.sampling_rate(), sound.channels(), sound.channels() == 1 ? "" : "s",
           static_cast<long long>(sound.length()));
    const editor::FrameTiming timing{f.frame_rate.num, f.frame_rate.den, sound.sampling_rate()};
    int32_t fewest = INT32_MAX, most = 0;
    for (int32_t frame = 0; frame < f.frame_count; ++frame) {
        fewest = std::min(fewest, timing.SampleCount(frame));
        most = std::max(most, timing.SampleCount(frame));
    }
    if (fewest == most) {
        printf("  per frame   %d samples\n", most);
    } else {
        printf("  per frame   %d or %d samples\n", fewest, most);
    }
    printf("  edit sound  %lld samples per channel over %d frames\n",
           static_cast<long long>(timing.FirstSample(f.frame_count)), f.frame_count);
    return true;
}

}  // namespace

void AddInfoCommand(CLI::App& app, std::function<int()>& run) {
    struct Arguments {
        std::vector<std::string> items;
        int sampling_rate = 0;  // the input's own
    };
    auto a = std::make_shared<Arguments>();
    CLI::App* command = app.add_subcommand(
        "info", "Show what plug-in files declare (the two the program runs by default), or what a clip hands the plug-ins");
    command->footer("Examples:\n  kinetra info\n  kinetra info build/dizorud.auf\n  kinetra info clip.mp4");
    command->add_option("PLUGIN|INPUT", a->items, "A .auf plug-in file, or a clip");
    command->add_option("--sampling-rate", a->sampling_rate,
                        "Sampling rate handed to the sound plug-in (default: the input's own)")
        ->check(CLI::Range(8000, 192000));
    command->callback([a, &run] {
        run = [a] {
            std::vector<std::string> items = a->items;
            if (items.empty()) {
                const fs::path folder = DefaultPluginFolder();
                items = {(folder / "dizorud.auf").string(), (folder / "dizorud_audio.auf").string()};
            }
            bool all = true;
            for (size_t i = 0; i < items.size(); ++i) {
                if (i > 0) printf("\n");
                const bool plugin = fs::path(items[i]).extension() == ".auf";
                all = (plugin ? ShowPlugin(items[i]) : ShowInput(items[i], a->sampling_rate)) && all;
            }
            return all ? 0 : 1;
        };
    });
}

}  // namespace kinetra::cli
