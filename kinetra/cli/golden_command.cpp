#include "kinetra/cli/golden_command.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "kinetra/cli/plugins.h"
#include "kinetra/editor/golden.h"

namespace kinetra::cli {

void AddGoldenCommand(CLI::App& app, std::function<int()>& run) {
    struct Arguments {
        std::string examples = "examples";
        std::string output;
    };
    auto arguments = std::make_shared<Arguments>();
    CLI::App* command = app.add_subcommand("golden", "Rewrite the golden checksums of the example scripts");
    command->add_option("--examples", arguments->examples, "Folder of the example scripts")
        ->capture_default_str()
        ->check(CLI::ExistingDirectory);
    command->add_option("--write", arguments->output, "Folder to write the golden files into")->required();
    command->callback([arguments, &run] {
        run = [arguments] {
            std::vector<std::string> written;
            std::string error;
            const bool done =
                editor::WriteGoldenFiles(arguments->examples, arguments->output, DefaultPluginFolder(), written, error);
            for (const std::string& file : written) fprintf(stderr, "kinetra: wrote %s\n", file.c_str());
            if (!done) {
                fprintf(stderr, "kinetra: %s\n", error.c_str());
                return 1;
            }
            return 0;
        };
    });
}

}  // namespace kinetra::cli
