// Where a file's data lies on its volume, as Windows tells it.
#pragma once

#include <string>

#include "base/FileSystem.h"

// Whether two files start on one cluster of one volume (FSCTL_GET_RETRIEVAL_POINTERS): on FAT
// the one thing that tells a file under two names from two copies, since FAT gives each entry
// its own file index. Unknown where the system has no such map (Wine, a file too small to have
// clusters of its own).
DataPlace SameDataOnVolume(const std::u16string& a, const std::u16string& b);
