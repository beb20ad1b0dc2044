// kinetra: runs the plug-ins outside the editor. render takes a clip (or the built-in one)
// through both plug-ins into a file; info shows what plug-ins declare and what a clip hands
// them; check reports what a script gets wrong; golden rewrites the example scripts' checksums.
#include <CLI/CLI.hpp>

#include <functional>
#include <string>

#include "kinetra/cli/check_command.h"
#include "kinetra/cli/golden_command.h"
#include "kinetra/cli/help_command.h"
#include "kinetra/cli/info_command.h"
#include "kinetra/cli/render_command.h"
#include "kinetra/media/ffmpeg.h"

int main(int argc, char** argv) {
    CLI::App app{"kinetra: script-driven animation through the Kinetra plug-ins, outside the editor"};
    app.set_version_flag("--version", std::string("kinetra ") + KINETRA_VERSION + " (libavformat " +
                                          LIBAVFORMAT_IDENT + ", " + LIBAVCODEC_IDENT + ")");
    app.require_subcommand(1);
    std::function<int()> run;
    kinetra::cli::AddRenderCommand(app, run);
    kinetra::cli::AddInfoCommand(app, run);
    kinetra::cli::AddCheckCommand(app, run);
    kinetra::cli::AddGoldenCommand(app, run);
    kinetra::cli::AddHelpCommand(app, run);
    av_log_set_level(AV_LOG_FATAL);  // failures reach the user as one message of ours
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return run ? run() : 0;
}
