#include "kinetra/cli/check_command.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>

#include "kinetra/check/catalog.h"
#include "kinetra/check/check.h"
#include "kinetra/cli/exit_status.h"

namespace kinetra::cli {

void AddCheckCommand(CLI::App& app, std::function<int()>& run) {
    struct Arguments {
        std::string script = "animation.txt";
        std::string frames;
        std::string size = "1920x1080";
        int32_t rate = 48000;
        bool json = false;
    };
    auto arguments = std::make_shared<Arguments>();
    CLI::App* command = app.add_subcommand("check", "Report a script's errors and warnings, as the plug-ins would meet them");
    command->footer(
        "Examples:\n"
        "  kinetra check                       animation.txt in this folder, over its whole range\n"
        "  kinetra check fx.txt --frames 0-299 the first 300 frames only\n"
        "  kinetra check --size 1280x720 --json\n"
        "Exit status: 0 no errors (warnings allowed); 1 an error in the script, or the script cannot be\n"
        "read; 2 usage error.");
    command->add_option("SCRIPT", arguments->script, "The script")->capture_default_str()->check(CLI::ExistingFile);
    command->add_option("--frames", arguments->frames, "Frames to evaluate, A-B (default: the script's range, capped)")
        ->check([](const std::string& v) {
            return std::regex_match(v, std::regex("[0-9]{1,9}-[0-9]{1,9}")) ? "" : "expected A-B, as 0-299";
        });
    command->add_option("--size", arguments->size, "Image size the formulas see as i and j, WxH")
        ->capture_default_str()
        ->check([](const std::string& v) {
            return std::regex_match(v, std::regex("[1-9][0-9]{0,4}x[1-9][0-9]{0,4}")) ? "" : "expected WxH, as 1920x1080";
        });
    command->add_option("--rate", arguments->rate, "Sampling rate of the edit's sound; 0 for an edit without sound")
        ->capture_default_str()
        ->check(CLI::Range(0, 768000));
    command->add_flag("--json", arguments->json, "Print the diagnostics as a JSON list");
    command->callback([arguments, &run] {
        run = [arguments] {
            std::ifstream in(arguments->script, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (!in.good() && !in.eof()) {
                fprintf(stderr, "kinetra: cannot read %s\n", arguments->script.c_str());
                return kFailure;
            }
            check::CheckOptions options;
            sscanf(arguments->size.c_str(), "%dx%d", &options.width, &options.height);
            options.sampling_rate = arguments->rate;
            if (!arguments->frames.empty()) {
                sscanf(arguments->frames.c_str(), "%d-%d", &options.first_frame, &options.last_frame);
                if (options.last_frame < options.first_frame) {
                    fprintf(stderr, "kinetra: --frames %s: the range ends before it starts\n", arguments->frames.c_str());
                    return kUsageError;
                }
            }
            const check::Report report = check::CheckScript(bytes, options, check::PluginCommands());
            const std::string out = arguments->json ? check::FormatJson(report, arguments->script)
                                                    : check::FormatText(report, arguments->script, bytes);
            fputs(out.c_str(), stdout);
            return report.errors() > 0 ? kFailure : kSuccess;
        };
    });
}

}  // namespace kinetra::cli
