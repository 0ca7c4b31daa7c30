// The player's lock: an exclusive flock on the database's folder, which every run asks for, so
// that one run at a time changes the player.
#pragma once

#include <string>

#include "base/FileSystem.h"

// Holds the folder at `folder` (a path on this system) for this run; busy (no error) while
// another run holds it, else the system's reason for not having it.
PlayerLock LockFolder(const std::string& folder);
