// Writes a realistic picture list and species map for benchmarks: many individuals spread over a
// few species, pictures taken in visits of one to eight shots with the visits in no particular
// order, some folders already species names, some individuals that the map does not know, and a
// few individuals entered in the map twice. The same arguments give the same bytes on every host.
//
//   gen-catalogue --lines N --individuals M --seed S --out DIR [--list-name NAME]

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

constexpr std::size_t NAME_WIDTH = 25;
constexpr std::size_t TAIL_WIDTH = 22;
constexpr std::size_t LINE_WIDTH = NAME_WIDTH + 1 + NAME_WIDTH + 1 + TAIL_WIDTH;

// splitmix64: tiny, fast, and fully specified, unlike the standard distributions whose output
// differs between library implementations.
struct Random {
    std::uint64_t state;
};

std::uint64_t nextRandom(Random& random) {
    std::uint64_t z = (random.state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// A number in [0, bound); the tiny bias of the modulo does not matter for test data.
std::uint64_t below(Random& random, std::uint64_t bound) {
    return nextRandom(random) % bound;
}

// A number in [0, 1).
double unit(Random& random) {
    return static_cast<double>(nextRandom(random) >> 11) * 0x1.0p-53;
}

constexpr std::array<std::string_view, 14> SPECIES = {
    "Leopard", "Tiger", "Lion",   "Jaguar", "Cheetah", "Snow Leopard", "Clouded Leopard",
    "Puma",    "Lynx",  "Ocelot", "Serval", "Caracal", "Margay",       "Fishing Cat"};

constexpr std::array<std::string_view, 24> SYLLABLES = {
    "fa", "lu", "bi", "ro", "sa", "ti", "ma", "ke", "do", "ne", "ri", "zo",
    "pe", "ly", "ga", "mi", "su", "ta", "ve", "bo", "ca", "ar", "el", "on"};

constexpr std::array<std::string_view, 6> ENDINGS = {"", "y", "a", "tta", "ffy", "n"};

constexpr std::array<std::string_view, 8> CAMERAS = {"EOS7D", "D800",  "TG-4", "X-T2",
                                                     "A7III", "EOS5D", "D500", "GH5"};

std::string capitalised(std::string word) {
    if (!word.empty() && word[0] >= 'a' && word[0] <= 'z') {
        word[0] = static_cast<char>(word[0] - 'a' + 'A');
    }
    return word;
}

std::string petWord(Random& random) {
    std::string word;
    const std::uint64_t syllables = 1 + below(random, 3);
    for (std::uint64_t i = 0; i < syllables; ++i) {
        word += SYLLABLES[below(random, SYLLABLES.size())];
    }
    word += ENDINGS[below(random, ENDINGS.size())];
    return capitalised(word);
}

std::string numbered(std::string_view stem, std::uint64_t number) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%03u", static_cast<unsigned>(number % 1000));
    return std::string(stem) + " " + digits;
}

// An individual's name, as keepers give them: "Fluffy", "Sable Rosetta" or "Tiger 001".
std::string individualName(Random& random) {
    const std::uint64_t form = below(random, 10);
    std::string name;
    if (form < 5) {
        name = petWord(random);
    } else if (form < 8) {
        name = petWord(random) + " " + petWord(random);
    } else {
        name = numbered(SPECIES[below(random, SPECIES.size())], below(random, 1000));
    }
    if (name.size() > NAME_WIDTH) {
        name.resize(NAME_WIDTH);
    }
    return name;
}

// `count` distinct names that are neither species nor already in `taken`.
std::vector<std::string> distinctNames(Random& random, std::size_t count,
                                       std::unordered_set<std::string>& taken) {
    std::vector<std::string> names;
    names.reserve(count);
    while (names.size() < count) {
        std::string name = individualName(random);
        if (taken.insert(name).second) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

void appendPadded(std::string& line, std::string_view text, std::size_t width) {
    line.append(text.substr(0, width));
    line.append(width - std::min(width, text.size()), ' ');
}

// One visit with a camera: a few pictures of one folder, taken one after another.
struct Session {
    std::string_view folder;
    unsigned year, month, day, hour, minute;
    unsigned firstNumber;
    bool dsc, upperCase;
    std::string_view camera;
    std::uint64_t pictures;
};

Session randomSession(Random& random, std::string_view folder) {
    Session session{};
    session.folder = folder;
    session.year = static_cast<unsigned>(2005 + below(random, 10));
    session.month = static_cast<unsigned>(1 + below(random, 12));
    session.day = static_cast<unsigned>(1 + below(random, 28));
    session.hour = static_cast<unsigned>(below(random, 24));
    session.minute = static_cast<unsigned>(below(random, 60));
    session.firstNumber = static_cast<unsigned>(below(random, 100000));
    session.dsc = below(random, 5) == 0;
    session.upperCase = below(random, 8) == 0;
    session.camera = CAMERAS[below(random, CAMERAS.size())];
    session.pictures = 1 + below(random, 8);
    return session;
}

// Picture `shot` of a session: "2014-02-01_IMG_04711.jpg", then the folder, then a tail such as
// "2014-02-01 13:45 EOS7D".
void pictureLine(std::string& line, const Session& session, std::uint64_t shot) {
    char lead[40];
    std::snprintf(lead, sizeof lead, "%04u-%02u-%02u_%s_%05u.%s", session.year, session.month,
                  session.day, session.dsc ? "DSC" : "IMG",
                  static_cast<unsigned>((session.firstNumber + shot) % 100000),
                  session.upperCase ? "JPG" : "jpg");
    char tail[40];
    const unsigned minutes = session.hour * 60 + session.minute + static_cast<unsigned>(shot);
    std::snprintf(tail, sizeof tail, "%04u-%02u-%02u %02u:%02u %.*s", session.year, session.month,
                  session.day, minutes / 60 % 24, minutes % 60,
                  static_cast<int>(session.camera.size()), session.camera.data());
    line.clear();
    appendPadded(line, lead, NAME_WIDTH);
    line += ' ';
    appendPadded(line, session.folder, NAME_WIDTH);
    line += ' ';
    appendPadded(line, tail, TAIL_WIDTH);
}

struct Options {
    std::uint64_t lines = 0;
    std::uint64_t individuals = 0;
    std::uint64_t seed = 1;
    std::string out;
    std::string listName = "AllPictures.txt";
};

[[noreturn]] void usage(const char* message) {
    std::fprintf(stderr,
                 "gen-catalogue: %s\nusage: gen-catalogue --lines N --individuals M --seed S "
                 "--out DIR [--list-name NAME]\n",
                 message);
    std::exit(2);
}

std::uint64_t number(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        usage("not a number");
    }
    return value;
}

Options parseOptions(int argc, char** argv) {
    Options options;
    bool haveLines = false;
    bool haveIndividuals = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view flag = argv[i];
        if (i + 1 >= argc) {
            usage("missing value");
        }
        const std::string_view value = argv[++i];
        if (flag == "--lines") {
            options.lines = number(value);
            haveLines = true;
        } else if (flag == "--individuals") {
            options.individuals = number(value);
            haveIndividuals = true;
        } else if (flag == "--seed") {
            options.seed = number(value);
        } else if (flag == "--out") {
            options.out = value;
        } else if (flag == "--list-name") {
            options.listName = value;
        } else {
            usage("unknown option");
        }
    }
    if (!haveLines || !haveIndividuals || options.out.empty()) {
        usage("--lines, --individuals and --out are needed");
    }
    return options;
}

std::FILE* openOutput(const std::filesystem::path& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "gen-catalogue: cannot write %s: %s\n", path.c_str(),
                     std::strerror(errno));
        std::exit(1);
    }
    static std::vector<char> buffer(std::size_t{1} << 20);
    std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
    return file;
}

void closeOutput(std::FILE* file, const std::filesystem::path& path) {
    if (std::ferror(file) != 0 || std::fclose(file) != 0) {
        std::fprintf(stderr, "gen-catalogue: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

void writeLine(std::FILE* file, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), file);
    std::fwrite("\r\n", 1, 2, file);
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    Random random{options.seed};

    std::unordered_set<std::string> taken;
    for (const std::string_view species : SPECIES) {
        taken.emplace(species);
    }
    const std::vector<std::string> mapped = distinctNames(random, options.individuals, taken);
    const std::vector<std::string> unmapped =
        distinctNames(random, std::max<std::uint64_t>(1, options.individuals / 10), taken);

    std::vector<std::string_view> speciesOf(mapped.size());
    for (std::string_view& species : speciesOf) {
        // A few species hold most of the individuals.
        species = SPECIES[static_cast<std::size_t>(unit(random) * unit(random) * SPECIES.size())];
    }

    std::filesystem::create_directories(options.out);

    // The map in the order a keeper typed it, with the odd individual entered twice: the second,
    // later entry must never win.
    const std::filesystem::path mapPath =
        std::filesystem::path(options.out) / "MarrowfenlatchMap.txt";
    std::FILE* map = openOutput(mapPath);
    std::vector<std::size_t> order(mapped.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    for (std::size_t i = order.size(); i > 1; --i) {
        std::swap(order[i - 1], order[below(random, i)]);
    }
    std::string line;
    for (std::size_t written = 0; written < order.size(); ++written) {
        const std::size_t individual = order[written];
        line.clear();
        appendPadded(line, mapped[individual], NAME_WIDTH);
        line += ' ';
        line += speciesOf[individual];
        writeLine(map, line);
        if (written % 997 == 996) {
            line.clear();
            appendPadded(line, mapped[order[below(random, written + 1)]], NAME_WIDTH);
            line += ' ';
            line += SPECIES[below(random, SPECIES.size())];
            writeLine(map, line);
        }
    }
    closeOutput(map, mapPath);

    const std::filesystem::path listPath = std::filesystem::path(options.out) / options.listName;
    std::FILE* list = openOutput(listPath);
    // Sessions follow each other in no particular order, so the list is far from sorted.
    for (std::uint64_t written = 0; written < options.lines;) {
        const std::uint64_t kind = below(random, 100);
        std::string_view folder;
        if (kind < 75 && !mapped.empty()) {
            // Some individuals are photographed far more often than others.
            const double skew = unit(random);
            folder =
                mapped[static_cast<std::size_t>(skew * skew * static_cast<double>(mapped.size()))];
        } else if (kind < 90) {
            folder = SPECIES[below(random, SPECIES.size())];
        } else {
            folder = unmapped[below(random, unmapped.size())];
        }
        const Session session = randomSession(random, folder);
        for (std::uint64_t shot = 0; shot < session.pictures && written < options.lines;
             ++shot, ++written) {
            pictureLine(line, session, shot);
            if (line.size() != LINE_WIDTH) {
                std::fprintf(stderr, "gen-catalogue: internal error: line of %zu columns\n",
                             line.size());
                return 1;
            }
            writeLine(list, line);
        }
    }
    closeOutput(list, listPath);
    return 0;
}
