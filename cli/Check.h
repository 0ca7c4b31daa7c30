// zorbel --check: what the player will play and what a run from the folder would change, in
// plain words, changing nothing. Returns the command's exit code.
#pragma once

#include <string>

int CheckPlayerCommand(const std::string& folder);
