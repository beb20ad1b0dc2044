// Running a program from a test: its command line quoted for the shell, and what it wrote.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace kinetra::test {

struct ProgramResult {
    int status = -1;
    std::string output;  // what the command wrote on standard output
    std::string errors;  // and on standard error
};

inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs a shell command line in `folder`, its standard input empty; what it writes is kept.
inline ProgramResult Shell(const std::string& line, const std::filesystem::path& folder) {
    const std::filesystem::path output = folder / "stdout.txt", errors = folder / "stderr.txt";
    const int status = std::system(("cd " + Quote(folder.string()) + " && (" + line + ") </dev/null >" +
                                    Quote(output.string()) + " 2>" + Quote(errors.string())).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(output), ReadFile(errors)};
}

}  // namespace kinetra::test
