// A test-only stand-in for another program that has a file open for a while, as a viewer, a sync
// client or a virus scanner does: it reads the file and shares reading only, so the file can be
// neither replaced nor opened for writing while it is held.
//
//   hold_file FILE MILLISECONDS [UNTIL]
//
// Holds FILE, says "held" on standard output once it does, and lets go MILLISECONDS later, counted
// from when the file UNTIL first holds bytes (the new file that is to replace FILE, say).

#include <cstdio>
#include <cstdlib>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc < 3 || ::CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr) == INVALID_HANDLE_VALUE) {
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    // Never longer than a minute, whatever becomes of the run. The file goes with the process.
    WIN32_FILE_ATTRIBUTE_DATA until{};
    for (int waited = 0; argc > 3 && waited < 60000 && until.nFileSizeLow == 0; waited += 10) {
        ::Sleep(10);
        (void)::GetFileAttributesExA(argv[3], GetFileExInfoStandard, &until);
    }
    ::Sleep(std::strtoul(argv[2], nullptr, 10));
    return 0;
}
