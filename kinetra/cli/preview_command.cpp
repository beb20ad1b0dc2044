#include "kinetra/cli/preview_command.h"

#include <signal.h>
#include <spawn.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "kinetra/cli/plugins.h"
#include "kinetra/cli/render_input.h"
#include "kinetra/editor/session.h"
#include "kinetra/editor/synthetic.h"
#include "kinetra/media/edit_source.h"
#include "kinetra/preview/server.h"
#include "kinetra/preview/session.h"

extern char** environ;

namespace kinetra::cli {
namespace fs = std::filesystem;
namespace {

struct Arguments {
    std::string input;
    std::string script;
    std::string plugins;
    int port = 0;
    bool open = false;
    std::string size = "1280x720";
    int frames = 48;
    int rate = 30;
};

int Fail(const std::string& message) {
    fprintf(stderr, "kinetra: %s\n", message.c_str());
    return 1;
}

std::string Utf8Name(const char* name) { return ShiftJisToUtf8(name); }

void OpenInBrowser(const std::string& address) {
    const char* argv[] = {"xdg-open", address.c_str(), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, "xdg-open", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        fprintf(stderr, "kinetra: cannot start xdg-open; open %s yourself\n", address.c_str());
    }
}

int Run(const Arguments& a) {
    editor::SyntheticClip clip;
    char extra = 0;
    if (sscanf(a.size.c_str(), "%dx%d%c", &clip.width, &clip.height, &extra) != 2 || clip.width < 1 ||
        clip.height < 1 || clip.width > 16384 || clip.height > 16384) {
        fprintf(stderr, "kinetra: --size %s: give WIDTHxHEIGHT, each 1..16384\n", a.size.c_str());
        return 2;
    }
    clip.frames = a.frames;
    clip.frame_rate = a.rate;

    for (const std::string& file : {a.input, a.script}) {
        if (const std::string why = UnreadableFile(file); !why.empty()) return Fail(why);
    }
    std::string error;
    editor::ScriptFolder folder;
    if (!folder.ok()) return Fail("cannot make a temporary folder");
    preview::SessionSetup setup;
    std::unique_ptr<media::EditSource> source;
    if (!a.input.empty()) {
        source = media::OpenFileSource(a.input, media::SourceOptions{}, AVRational{a.rate, 1}, error);
        if (!source) return Fail(error);
        setup.plugins.edited_path = source->edited_path();
        setup.script = fs::path(source->edited_path()).parent_path() / "animation.txt";
    }
    if (!a.script.empty() || a.input.empty()) {
        const std::string name = a.input.empty() ? "synthetic-clip" : fs::path(a.input).filename().string();
        setup.plugins.edited_path = PresentScript(folder, a.script, name);
        if (setup.plugins.edited_path.empty()) return Fail("cannot present the script in a temporary folder");
        setup.script = a.script.empty() ? folder.path() / "animation.txt" : fs::path(a.script);
    }
    if (a.input.empty()) source = media::MakeSyntheticSource(clip, setup.plugins.edited_path);
    if (!source->format().has_pictures) return Fail(a.input + " has no pictures to preview");
    setup.plugins.sampling_rate = source->sound().sampling_rate();

    setup.source = source.get();
    if (!FindPlugins(a.plugins, setup.picture_plugin, setup.sound_plugin, error)) return Fail(error);
    setup.work_folder = folder.path();
    setup.shift_jis_to_utf8 = Utf8Name;
    setup.max_frames = kDefaultMaxFrames;

    // Ctrl+C and termination reach this thread alone, through sigwait, never a server thread.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    preview::Session session;
    if (!session.Start(setup, error)) return Fail(error);
    preview::Server server(session);
    const int port = server.Bind(a.port, error);
    if (port < 0) return Fail(error);
    const std::string address = "http://127.0.0.1:" + std::to_string(port) + "/";
    printf("kinetra: previewing on %s (Ctrl+C stops)\n", address.c_str());
    printf("kinetra: script %s; edits show as they are saved\n", setup.script.string().c_str());
    fflush(stdout);
    std::thread serving([&server] { server.Run(); });
    if (a.open) OpenInBrowser(address);
    int signal = 0;
    sigwait(&signals, &signal);
    session.Stop();
    server.Stop();
    serving.join();
    return 130;
}

}  // namespace

void AddPreviewCommand(CLI::App& app, std::function<int()>& run) {
    auto a = std::make_shared<Arguments>();
    CLI::App* command = app.add_subcommand("preview", "Tune a script on a clip in the browser, live");
    command->footer(
        "Serves a page on 127.0.0.1 only: the frame, a scrubber, the track bars as sliders, the\n"
        "script's diagnostics and its formulas' curves. Saving the script updates the page within a\n"
        "second. A frame is shown at once, then made exact (as a render gives it) in the background.\n"
        "The first line printed is the address. Ctrl+C stops.\n\n"
        "Examples:\n"
        "  kinetra preview                          the built-in clip with the demo script\n"
        "  kinetra preview clip.mp4                 clip.mp4 with the animation.txt beside it\n"
        "  kinetra preview clip.mp4 --script fx.txt --port 8080 --open");
    command->add_option("INPUT", a->input, "A file FFmpeg reads, with video");
    command->add_option("-s,--script", a->script, "Present this file to the plug-ins as animation.txt");
    command->add_option("--port", a->port, "Port on 127.0.0.1 (default: a free one)")->check(CLI::Range(1, 65535));
    command->add_flag("--open", a->open, "Open the page in the desktop's browser");
    command->add_option("--size", a->size, "Size of the built-in clip, WIDTHxHEIGHT")->capture_default_str();
    command->add_option("--frames", a->frames, "Length of the built-in clip in frames")
        ->capture_default_str()
        ->check(CLI::Range(1, 18000));
    command->add_option("--rate", a->rate, "Frames per second of the built-in clip")
        ->capture_default_str()
        ->check(CLI::Range(1, 1000));
    command->add_option("--plugins", a->plugins, "Folder holding dizorud.auf and dizorud_audio.auf")
        ->check(CLI::ExistingDirectory);
    command->callback([a, &run] { run = [a] { return Run(*a); }; });
}

}  // namespace kinetra::cli
