// Renames on the player: never over a name already taken, and (DurableRename.cpp) each rename
// and the database's replace made durable in an order a cut on Linux's vfat survives.
#pragma once

// Renames without ever replacing: false when `to` exists. Exposed for the tests of its fallback.
bool RenameNoReplace(const char* from, const char* to);
bool RenameCheckedFallback(const char* from, const char* to);
