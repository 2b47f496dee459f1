#pragma once

// Runs the built program as a user would: in a scratch folder of its own, with the given bytes on
// standard input, capturing standard output and standard error byte for byte.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace e2e {

struct RunResult {
    int exitStatus = -1; // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// A fresh folder, removed again with everything in it when the object goes.
struct Scratch {
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::filesystem::path dir;

    void write(const std::string& name, std::string_view bytes) const;
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;
    // Names of all entries, sorted, separated by one blank.
    std::string listing() const;
};

// The command that starts the program: MTS_PROGRAM from the environment when set (words
// separated by blanks, so that an emulator can stand in front), else the native build.
std::string programCommand();

// The words of programCommand(), and an argument vector for execvp pointing into them (valid
// while `words` lives unchanged).
std::vector<std::string> programWords();
std::vector<char*> argvOf(std::vector<std::string>& words);

RunResult runProgram(const Scratch& scratch, std::string_view input);

// Joins lines each ending in CR LF, as the console writes them.
std::string crlfLines(std::initializer_list<std::string_view> lines);

} // namespace e2e
