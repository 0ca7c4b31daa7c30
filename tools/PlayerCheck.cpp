// Checks under Wine what Zorbel.exe left on the player: the database lists exactly the MP3 files
// below the folder, in the order this system lists each folder, and no temporary file is left.
// The comparison with the zorbel command uses it for the program's own side.
#include <cstdio>

#include "PlayerDrive.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: player_check <program folder, e.g. P:>\n");
        return 2;
    }
    std::wstring folder = argv[1];
    std::string problem = CheckDatabase(folder.substr(0, 2), folder);
    if (!problem.empty()) {
        std::printf("player_check: %s\n", problem.c_str());
        return 1;
    }
    std::printf("player_check: the database matches this system's listing\n");
    return 0;
}
