// kinetra: runs the plug-ins outside the editor. render takes a clip (or the built-in one)
// through both plug-ins into a file; info shows what plug-ins declare and what a clip hands
// them; check reports what a script gets wrong; golden rewrites the example scripts' checksums.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "kinetra/cli/check_command.h"
#include "kinetra/cli/exit_status.h"
#include "kinetra/cli/golden_command.h"
#include "kinetra/cli/help_command.h"
#include "kinetra/cli/info_command.h"
#include "kinetra/cli/preview_command.h"
#include "kinetra/cli/render_command.h"
#include "kinetra/media/ffmpeg.h"

#if defined(__linux__)
#include <unistd.h>
#endif

namespace {

// The plug-ins' worker threads, a loop done, wait for the next by spinning, by default for
// milliseconds, on the cores the decoder and the encoder need: a render with a typical script
// took up to a third longer, one with a single resize two thirds longer (docs/PERFORMANCE.md). The OpenMP runtime reads its wait policy
// once, when it is loaded, which FFmpeg's libraries do before main; so unless the user chose a
// policy, the program starts itself again with waiting workers asleep.
void LetWaitingWorkersSleep(char** argv) {
#if defined(__linux__)
    if (getenv("OMP_WAIT_POLICY") || getenv("GOMP_SPINCOUNT")) return;
    setenv("OMP_WAIT_POLICY", "passive", 1);
    execv("/proc/self/exe", argv);  // returns only when it fails: then run on as we are
#else
    (void)argv;
#endif
}

int Main(int argc, char** argv) {
    using namespace kinetra::cli;
    CLI::App app{"kinetra: script-driven animation through the Kinetra plug-ins, outside the editor"};
    app.set_version_flag("--version", std::string("kinetra ") + KINETRA_VERSION + " (libavformat " +
                                          LIBAVFORMAT_IDENT + ", " + LIBAVCODEC_IDENT + ")");
    app.require_subcommand(1);
    app.footer(kExitStatusHelp);
    std::function<int()> run;
    AddRenderCommand(app, run);
    AddInfoCommand(app, run);
    AddCheckCommand(app, run);
    AddGoldenCommand(app, run);
    AddHelpCommand(app, run);
    AddPreviewCommand(app, run);
    av_log_set_level(AV_LOG_FATAL);  // failures reach the user as one message of ours

    // ffmpeg's spellings that the option parser cannot name (-c:v, -pix_fmt) become long options.
    std::vector<std::string> words(argv, argv + argc);
    std::vector<char*> arguments;
    for (std::string& word : words) {
        word = RenderOptionSpelling(word);
        arguments.push_back(word.data());
    }
    try {
        app.parse(argc, arguments.data());
    } catch (const CLI::ParseError& e) {
        const int printed = app.exit(e);  // prints help, the version, or the usage error
        return printed == 0 ? kSuccess : kUsageError;
    }
    return run ? run() : kSuccess;
}

}  // namespace

int main(int argc, char** argv) {
    LetWaitingWorkersSleep(argv);
    // The last resort: whatever escapes a command ends the program with one line, after the
    // stack has unwound, so that partial outputs and private folders are removed.
    try {
        return Main(argc, argv);
    } catch (const std::bad_alloc& e) {
        fprintf(stderr, "kinetra: not enough memory: %s\n", e.what());
    } catch (const std::exception& e) {
        fprintf(stderr, "kinetra: %s\n", e.what());
    } catch (...) {
        fprintf(stderr, "kinetra: an unexpected failure\n");
    }
    return kinetra::cli::kFailure;
}
