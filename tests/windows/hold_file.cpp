// A test-only stand-in for another program that has a file open for a while, as a viewer, a sync
// client or a virus scanner does: it reads the file and shares reading only, so the file can be
// neither replaced nor opened for writing while it is held.
//
//   hold_file FILE MILLISECONDS [UNTIL]
//
// Holds FILE, says "held" on standard output once it does, and lets go MILLISECONDS after that, or
// after the file UNTIL has first held any bytes (the new file that is to replace FILE, say).

#include <cstdio>
#include <cstdlib>
#include <windows.h>

namespace {

bool holdsBytes(const char* name) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return ::GetFileAttributesExA(name, GetFileExInfoStandard, &data) != 0 &&
           (data.nFileSizeLow != 0 || data.nFileSizeHigh != 0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fputs("usage: hold_file FILE MILLISECONDS [UNTIL]\n", stderr);
        return 2;
    }
    const HANDLE file = ::CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "hold_file: cannot open %s: error %lu\n", argv[1], ::GetLastError());
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    // Never longer than a minute, whatever happens to the run.
    for (int waited = 0; argc == 4 && !holdsBytes(argv[3]) && waited < 60000; waited += 10) {
        ::Sleep(10);
    }
    ::Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    ::CloseHandle(file);
    return 0;
}
