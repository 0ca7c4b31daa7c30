// How many 32-byte directory entries a name takes on FAT: the rule behind the room a rename needs,
// and behind Windows' FAT driver, which renames in place only when the count stays the same.
#pragma once

#include <cstddef>
#include <string_view>

// The entries a FAT entry of this name may take: one short entry, and before it a long-name entry
// per 13 units, unless the name is a short name itself (8.3, in a case the short entry can carry:
// which depends on who made it, so such a name may take either).
struct FatSlots {
    size_t least, most;
};
FatSlots FatEntriesFor(std::u16string_view name);
