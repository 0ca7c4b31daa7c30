// Where a file's data lies on the medium, as far as Linux tells an unprivileged program.
#pragma once

#include <string>

#include "base/FileSystem.h"

// Whether the files at two host paths start at one place on their medium: one inode (a hard
// link), or one first block by FIEMAP (ext4, btrfs, xfs) or FIBMAP (vfat's only map, and only for
// a privileged caller). Unknown when neither map answers for both.
DataPlace SameDataOnMedium(const std::string& a, const std::string& b);
