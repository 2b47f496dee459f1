#pragma once

// What a run of the tool is expected to print and leave behind, built from first principles (the
// fixed messages, the 74-column picture line, the map table), and a launcher for the few runs that
// need more than a captured standard output: extra arguments, a file size limit, or a standard
// output that refuses to be written.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "e2e_support.h"

namespace e2e {

inline constexpr const char* PICTURES = "AllPictures.txt";
inline constexpr const char* BACKUP = "AllPicturesIndiv.txt";
inline constexpr const char* UNSORTED = "AllPicturesUnsorted.txt";
inline constexpr const char* MAP = "MarrowfenlatchMap.txt";

// What stays in the folder after a complete run.
inline constexpr const char* LISTING_AFTER_RUN =
    "AllPictures.txt AllPicturesIndiv.txt MarrowfenlatchMap.txt";

inline constexpr std::string_view BANNER =
    "1 February, 2014 Version 1.0 - Move individuals to species folders";
inline constexpr std::string_view SAVE_MESSAGE =
    "Save AllPictures.txt with individuals as AllPicturesIndiv.txt";
inline constexpr std::string_view QUESTION =
    "Type Yes, then Enter if this is correct, otherwise type No";
inline constexpr std::string_view RELABEL_MESSAGE =
    "Map individuals into species, create AllPicturesUnsorted.txt";
inline constexpr std::string_view SORT_MESSAGE = "Sort AllPicturesUnsorted.txt";
inline constexpr std::string_view DELETE_MESSAGE = "Delete AllPicturesUnsorted.txt";
inline constexpr std::string_view DONE_MESSAGE =
    "All individuals moved to species, AllPictures.txt created";
inline constexpr std::string_view NORMAL_END_MESSAGE = "Hit Enter to TERMINATE NORMALLY";
inline constexpr std::string_view REJECTED_MESSAGE = "FAILURE ... TERMINATING";
inline constexpr std::string_view ACKNOWLEDGE_MESSAGE = "Hit Enter to acknowledge";

inline constexpr std::size_t NAME_COLUMNS = 25;
inline constexpr std::size_t TAIL_COLUMNS = 22;
inline constexpr std::size_t PICTURE_LINE_BYTES = 74 + 2;

// One message line: a blank, the text, CR LF.
inline std::string message(std::string_view text) {
    std::string line(" ");
    line.append(text).append("\r\n");
    return line;
}

// `text` cut or blank-filled to `width` bytes.
inline std::string padded(std::string_view text, std::size_t width) {
    std::string field(text.substr(0, std::min(width, text.size())));
    field.resize(width, ' ');
    return field;
}

// The 74 columns of a picture line, without a line end: lead, blank, folder, blank, tail.
inline std::string pictureColumns(std::string_view lead, std::string_view folder,
                                  std::string_view tail) {
    return padded(lead, NAME_COLUMNS) + " " + padded(folder, NAME_COLUMNS) + " " +
           padded(tail, TAIL_COLUMNS);
}

// A picture line as the tool writes it.
inline std::string pictureLine(std::string_view lead, std::string_view folder,
                               std::string_view tail) {
    return pictureColumns(lead, folder, tail) + "\r\n";
}

// A map file line as an operator types it, without its line end.
inline std::string mapColumns(std::string_view individual, std::string_view species) {
    return padded(individual, NAME_COLUMNS) + " " + std::string(species);
}

struct MapEntry {
    std::string individual;
    std::string species;
};

// Map lines ending in CR LF, as a text editor on the tool's home platform saves them.
inline std::string mapFile(const std::vector<MapEntry>& entries) {
    std::string file;
    for (const MapEntry& entry : entries) {
        file += mapColumns(entry.individual, entry.species) + "\r\n";
    }
    return file;
}

// The confirmation: blank line, header, one row per entry, the question.
inline std::string mapTable(const std::vector<MapEntry>& entries) {
    std::string table = "\r\nIndividual                Species\r\n";
    for (const MapEntry& entry : entries) {
        table += padded(entry.individual, NAME_COLUMNS) + " " +
                 padded(entry.species, NAME_COLUMNS) + "\r\n";
    }
    return table + message(QUESTION);
}

inline std::string openingLines() {
    return message(BANNER) + message(SAVE_MESSAGE);
}

inline std::string completeRunOutput(const std::string& table) {
    return openingLines() + table + message(RELABEL_MESSAGE) + message(SORT_MESSAGE) +
           message(DELETE_MESSAGE) + message(DONE_MESSAGE) + message(NORMAL_END_MESSAGE);
}

inline std::string rejectedRunOutput(const std::string& table) {
    return openingLines() + table + message(REJECTED_MESSAGE) + message(ACKNOWLEDGE_MESSAGE);
}

// The picture lines in ascending unsigned byte order, as the new picture list holds them. Every
// line is 76 bytes, so cutting by length keeps lines with a stray CR whole.
inline std::string sortedPictureLines(const std::string& lines) {
    std::vector<std::string> records;
    for (std::size_t at = 0; at < lines.size(); at += PICTURE_LINE_BYTES) {
        records.push_back(lines.substr(at, PICTURE_LINE_BYTES));
    }
    std::sort(records.begin(), records.end()); // char_traits<char> compares as unsigned bytes
    std::string joined;
    for (const std::string& record : records) {
        joined += record;
    }
    return joined;
}

// The first lines of the fatal report for the end of standard input.
inline std::string endOfInputReport(std::string_view operation, int record) {
    return "Fatal file error 217/" + std::string(operation) +
           "/unit=5/attempt to read past end of file.\r\n File name = stdin     formatted, "
           "sequential access   record = " +
           std::to_string(record) + "\r\n";
}

// The first lines of the fatal report for an error number of the host; without a record number
// for an open that failed.
inline std::string hostErrorReport(int error, std::string_view operation, int channel,
                                   std::string_view fileName, std::optional<int> record) {
    std::string report = "Host error: " + std::string(std::strerror(error)) + "\r\n";
    report += "Fatal file error /" + std::string(operation) + "/unit=" + std::to_string(channel) +
              "/error code returned by host stdio - " + std::to_string(error) + ".\r\n";
    report += " File name = " + std::string(fileName);
    if (record) {
        report += "    formatted, sequential access   record = " + std::to_string(*record);
    }
    return report + "\r\n";
}

// The decimal number that follows the first `label` in `text`, if any.
inline std::optional<int> numberAfter(const std::string& text, std::string_view label) {
    const std::size_t at = text.find(label);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const std::size_t digits = at + label.size();
    const std::size_t end = text.find_first_not_of("0123456789", digits);
    if (end == digits) {
        return std::nullopt;
    }
    return std::stoi(text.substr(digits, end - digits));
}

// A line naming one of the tool's source files and a line in it.
inline bool isLocationLine(const std::string& line) {
    constexpr std::string_view lead = " In source file ";
    constexpr std::string_view middle = ", at line number ";
    if (line.compare(0, lead.size(), lead) != 0 || line.size() < 2 ||
        line.compare(line.size() - 2, 2, "\r\n") != 0) {
        return false;
    }
    const std::size_t comma = line.find(middle);
    if (comma == std::string::npos) {
        return false;
    }
    const std::string file = line.substr(lead.size(), comma - lead.size());
    const bool plainName = !file.empty() && file.find_first_of(" /\\") == std::string::npos;
    const bool source = file.ends_with(".cpp") || file.ends_with(".h");
    const std::string number =
        line.substr(comma + middle.size(), line.size() - 2 - comma - middle.size());
    return plainName && source && !number.empty() && number[0] != '0' &&
           number.find_first_not_of("0123456789") == std::string::npos;
}

// `err` is `head` followed by exactly one location line.
inline ::testing::AssertionResult isFatalReport(const std::string& err, const std::string& head) {
    if (err.compare(0, head.size(), head) != 0) {
        return ::testing::AssertionFailure() << "report starts differently:\n"
                                             << err << "\nexpected to start with:\n"
                                             << head;
    }
    if (!isLocationLine(err.substr(head.size()))) {
        return ::testing::AssertionFailure() << "no single location line after the report:\n"
                                             << err;
    }
    return ::testing::AssertionSuccess();
}

// How launchProgram starts the tool, where runProgram's defaults are not enough.
struct Launch {
    std::vector<std::string> extraArguments;
    std::optional<rlim_t> fileSizeLimit; // bytes any one file of the process may grow to
    enum class Output { Captured, FullDevice, ClosedPipe } output = Output::Captured;
};

// Like runProgram, with the changes that `how` asks for. `out` stays empty unless captured.
inline RunResult launchProgram(const Scratch& scratch, std::string_view input, const Launch& how) {
    const Scratch io;
    io.write("stdin", input);
    std::vector<std::string> words = programWords();
    words.insert(words.end(), how.extraArguments.begin(), how.extraArguments.end());
    std::vector<char*> argv = argvOf(words);

    int pipeEnds[2] = {-1, -1};
    if (how.output == Launch::Output::ClosedPipe) {
        if (::pipe(pipeEnds) != 0) {
            return {};
        }
        ::close(pipeEnds[0]); // nobody will ever read what the tool writes
    }
    const std::string outPath = how.output == Launch::Output::FullDevice
                                    ? std::string("/dev/full")
                                    : (io.dir / "stdout").string();
    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open((io.dir / "stdin").c_str(), O_RDONLY);
        const int out = how.output == Launch::Output::ClosedPipe
                            ? pipeEnds[1]
                            : ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open((io.dir / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
            ::dup2(err, 2) < 0 || ::chdir(scratch.dir.c_str()) != 0) {
            ::_exit(200);
        }
        if (how.fileSizeLimit) {
            const rlimit limit{*how.fileSizeLimit, *how.fileSizeLimit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                ::_exit(202);
            }
        }
        ::execvp(argv[0], argv.data());
        ::_exit(201);
    }
    if (pipeEnds[1] >= 0) {
        ::close(pipeEnds[1]);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    RunResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (how.output == Launch::Output::Captured) {
        result.out = io.read("stdout");
    }
    result.err = io.read("stderr");
    return result;
}

} // namespace e2e
