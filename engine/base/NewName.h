// The plain name an item gets in its folder: the name's form (ST_FILE_%d.mp3, ST_DIR_%d) with the
// first number from `counter` on that no item has and no other item is about to take.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>

#include "base/FileSystem.h"

// The new full path for the item at `path`, the counter moved past taken names (it keeps the
// number given); `planned` holds the folded full paths already promised to other items. Empty
// when no name fits the platform's path limit.
std::u16string NewName(IFileSystem& fs, const std::u16string& path, int& counter,
                       std::u16string_view format,
                       const std::unordered_set<std::u16string>& planned);
