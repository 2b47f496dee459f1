#include "e2e_support.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

namespace {

fs::path makeTempDir(const char* pattern) {
    std::string templ = (fs::temp_directory_path() / pattern).string();
    if (::mkdtemp(templ.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    return templ;
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void spit(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

} // namespace

Scratch::Scratch() : dir(makeTempDir("mts-e2e-XXXXXX")) {}

Scratch::~Scratch() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

void Scratch::write(const std::string& name, std::string_view bytes) const {
    spit(dir / name, bytes);
}

std::string Scratch::read(const std::string& name) const {
    return slurp(dir / name);
}

bool Scratch::exists(const std::string& name) const {
    return fs::exists(fs::symlink_status(dir / name));
}

std::string Scratch::listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names) {
        joined += (joined.empty() ? "" : " ") + name;
    }
    return joined;
}

std::string programCommand() {
    const char* fromEnvironment = std::getenv("MTS_PROGRAM");
    return fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment
                                                                  : MTS_PROGRAM_PATH;
}

std::vector<std::string> programWords() {
    std::vector<std::string> words;
    std::istringstream in(programCommand());
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

std::vector<char*> argvOf(std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    return argv;
}

RunResult runProgram(const Scratch& scratch, std::string_view input) {
    const fs::path io = makeTempDir("mts-io-XXXXXX");
    spit(io / "stdin", input);
    std::vector<std::string> words = programWords();
    std::vector<char*> argv = argvOf(words);

    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open((io / "stdin").c_str(), O_RDONLY);
        const int out = ::open((io / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open((io / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
            ::dup2(err, 2) < 0 || ::chdir(scratch.dir.c_str()) != 0) {
            ::_exit(200);
        }
        ::execvp(argv[0], argv.data());
        ::_exit(201);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    RunResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = slurp(io / "stdout");
    result.err = slurp(io / "stderr");
    std::error_code ignored;
    fs::remove_all(io, ignored);
    return result;
}

std::string crlfLines(std::initializer_list<std::string_view> lines) {
    std::string joined;
    for (const std::string_view line : lines) {
        joined.append(line).append("\r\n");
    }
    return joined;
}

} // namespace e2e
