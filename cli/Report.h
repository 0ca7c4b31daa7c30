// The lines a run and --check share: the ones that name what a run leaves out of the database,
// and why (after a run, and by --check for what a run would leave out, from the same values), and
// the ones that refuse a folder where no player was found.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "Display.h"
#include "PlayerSearch.h"
#include "run/SyncJob.h"

// How many paths a list shows: on a terminal the first few and a count; into a file or a pipe
// every one, so the list can be read through before a run.
inline constexpr size_t kShownOnTerminal = 5;
size_t ListLimit(bool terminal);

// `predicted`: what a run would leave out, said by --check. True when a list was cut to `limit`.
bool PrintLeftOut(std::FILE* out, const std::vector<LeftOut>& leftOut, const ShownPlayer& player,
                  bool predicted, size_t limit);

// "1 folder and 2 songs": what a run leaves out, counted by kind; empty for nothing.
std::string CountLeftOut(const std::vector<LeftOut>& leftOut);

// Why no player was found at the folder the user gave: one line on stderr, naming the folder
// absolutely, or where the search stopped.
void PrintSearchRefusal(SearchOutcome found, const std::string& folder, const PlayerPlace& place);

// The line that asks for the drive's repair of an item under two names: a song or folder, or a
// file a run replaces under its temporary name too.
// `mayBeCopies`: the two hold the same bytes where the system cannot tell whether they share them.
void PrintRepair(const RenamePair& names, const ShownPlayer& player, bool mayBeCopies);
// Both names of an item an earlier run recorded, kept as two songs; as a run would, with `check`.
void PrintTwoSongs(const std::vector<RenamePair>& pairs, const ShownPlayer& player, bool check);
