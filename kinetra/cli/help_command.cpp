#include "kinetra/cli/help_command.h"

#include <cstdio>
#include <memory>
#include <string>

#include "kinetra/check/help.h"

namespace kinetra::cli {

void AddHelpCommand(CLI::App& app, std::function<int()>& run) {
    auto topic = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand("help", "The script's commands, their arguments, and what formulas see");
    command->footer(
        "Examples:\n"
        "  kinetra help             every command by family, then formulas and variables\n"
        "  kinetra help rotate      rotate's arguments: units, conversion, valid range, an example\n"
        "  kinetra help formulas    the functions, operators, variables and track bars\n"
        "  kinetra render --help    a program command's options");
    command->add_option("COMMAND", *topic, "A script command, or 'formulas'");
    command->callback([topic, &run] {
        run = [topic] {
            const std::string help = topic->empty()          ? check::CommandList()
                                     : *topic == "formulas" ? check::FormulaHelp()
                                                            : check::CommandHelp(*topic);
            if (help.empty()) {
                fprintf(stderr, "kinetra: help %s: no plug-in has this command (kinetra help lists them)\n",
                        topic->c_str());
                return 2;
            }
            fputs(help.c_str(), stdout);
            return 0;
        };
    });
}

}  // namespace kinetra::cli
