// kinetra: runs the plug-ins outside the editor. For now it renders the built-in clip with the
// built-in demo script through the image plug-in and writes the frames as PPM pictures.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kinetra/lib/golden.h"
#include "kinetra/lib/render.h"
#include "kinetra/lib/synthetic.h"

namespace fs = std::filesystem;
using namespace kinetra::host;

namespace {

int Usage() {
    fprintf(stderr,
            "usage: kinetra render [-o FOLDER] [--frames N]\n"
            "       kinetra golden --write FOLDER [--examples FOLDER]\n");
    return 2;
}

// Rewrites the golden checksums of the example scripts, on purpose.
int Golden(int argc, char** argv) {
    fs::path examples = "examples";
    fs::path output;
    for (int i = 2; i < argc; ++i) {
        if (!strcmp(argv[i], "--write") && i + 1 < argc) {
            output = argv[++i];
        } else if (!strcmp(argv[i], "--examples") && i + 1 < argc) {
            examples = argv[++i];
        } else {
            return Usage();
        }
    }
    if (output.empty()) return Usage();
    std::vector<std::string> written;
    std::string error;
    const bool done = WriteGoldenFiles(examples, output, KINETRA_PLUGIN_DIR, written, error);
    for (const std::string& file : written) fprintf(stderr, "kinetra: wrote %s\n", file.c_str());
    if (!done) {
        fprintf(stderr, "kinetra: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

uint8_t ToByte(double value) { return static_cast<uint8_t>(std::clamp(value * 255.0 / 4096.0, 0.0, 255.0)); }

bool WritePpm(const fs::path& file, const PixelYC* pixels, int32_t width, int32_t height, int32_t stride) {
    FILE* out = fopen(file.c_str(), "wb");
    if (!out) return false;
    fprintf(out, "P6\n%d %d\n255\n", width, height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const PixelYC& p = pixels[static_cast<size_t>(y) * stride + x];
            const uint8_t rgb[3] = {ToByte(p.y + 1.402 * p.cr), ToByte(p.y - 0.344 * p.cb - 0.714 * p.cr),
                                    ToByte(p.y + 1.772 * p.cb)};
            fwrite(rgb, 1, 3, out);
        }
    }
    return fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && strcmp(argv[1], "golden") == 0) return Golden(argc, argv);
    if (argc < 2 || strcmp(argv[1], "render") != 0) return Usage();
    fs::path output = "demo";
    int32_t frames = 48;
    for (int i = 2; i < argc; ++i) {
        if ((!strcmp(argv[i], "-o") || !strcmp(argv[i], "--output")) && i + 1 < argc) {
            output = argv[++i];
        } else if (!strcmp(argv[i], "--frames") && i + 1 < argc) {
            frames = std::max(1, atoi(argv[++i]));
        } else {
            return Usage();
        }
    }

    std::error_code ignored;
    fs::create_directories(output, ignored);
    RenderOptions options;
    options.clip.frames = frames;
    options.threads = 2;
    options.plugin_dir = KINETRA_PLUGIN_DIR;
    fprintf(stderr, "kinetra: rendering the built-in clip (%d frames, %dx%d) with the built-in demo script\n",
            frames, options.clip.width, options.clip.height);
    const PictureSink write = [&output](const FrameContext& frame, std::string& error) {
        char name[32];
        snprintf(name, sizeof name, "frame%04d.ppm", frame.frame);
        if (WritePpm(output / name, frame.edit_image, frame.width, frame.height, frame.max_width)) return true;
        error = "cannot write " + (output / name).string();
        return false;
    };
    std::string error;
    if (!RenderPictures(kDemoScript, options, write, error)) {
        fprintf(stderr, "kinetra: %s\n", error.c_str());
        return 1;
    }
    fprintf(stderr, "kinetra: wrote %d frames to %s\n", frames, output.c_str());
    return 0;
}
