// The lines that name what a run leaves out of the database, and why: printed after a run, and
// by --check for what a run would leave out, from the same values.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "SyncJob.h"

struct ShownPlayer {
    std::u16string drive;  // the engine's name for the player ("P:")
    std::string top;       // its top folder on this system
    std::string folder;    // the folder the run is given, as the user finds it
};

// An engine path as the user finds it, every control character escaped.
std::string ShownPath(const ShownPlayer& player, std::u16string_view path);

// `predicted`: what a run would leave out, said by --check.
void PrintLeftOut(std::FILE* out, const std::vector<LeftOut>& leftOut, const ShownPlayer& player,
                  bool predicted);
