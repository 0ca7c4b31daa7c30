// The plan of a run's renames: every item of the rename list named before the first rename, so
// the file system can make room in each folder ahead of them; a refused rename frees the number it
// was meant to take, and the names after it are worked out again. It counts what was renamed.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/ChangeGate.h"
#include "base/FileSystem.h"
#include "base/PathList.h"
#include "database/OwnerSettings.h"
#include "record/RenameRecord.h"

class CRenamePlan {
public:
    enum class Step { Pending, Done, Refused };
    struct Item {
        std::u16string from, to;  // full paths; `to` empty when no new name fits
        bool folder = false;
        int folderCounter = 1, fileCounter = 1;  // the counters once this item had its name
        Step step = Step::Pending;
    };

    CRenamePlan(IFileSystem& fs, const IChangeGate& gate) : m_fs(fs), m_gate(gate) {}

    // Forgets an earlier run's plan and counts.
    void Reset();
    // Names every item of `items` in order, the numbers from 1; a name in `reserved` (folded) or
    // planned for an item before counts as taken. Planning only reads: a stop asked meanwhile
    // ends it.
    void Make(const PathList& items, const std::unordered_set<std::u16string>& reserved);
    // After the item at `refused` kept its name: the items after it named again, its number free.
    void Replan(size_t refused, const PathList& items,
                const std::unordered_set<std::u16string>& reserved);
    // Tells each folder all its new names at once, before anything is renamed. False when the
    // medium failed.
    bool PrepareFolders();

    size_t Count() const { return m_items.size(); }
    const Item& operator[](size_t index) const { return m_items[index]; }
    // The renames that have a new name to take.
    size_t Planned() const { return m_planned; }
    // How a rename ended: tried (Refused until it says otherwise), then Done.
    void Tried(size_t index) { m_items[index].step = Step::Refused; }
    void Done(size_t index);

    // What a record of renames holds of the plan, each with what its item is: a file's identity,
    // a folder's names as they will be once the renames inside it are done.
    std::vector<RecordEntry> Entries();
    // The folder renames made, in the plan's order (inner folders first).
    std::vector<RenamePair> FoldersRenamed() const;
    // The owner's settings of a later-layout database follow the renames made, then match
    // `tracks`.
    void Follow(OwnerSettings& kept, const PathList& tracks) const;
    // Pairs of full paths as the owner's settings follow them: each path from the player's root,
    // then its new name.
    static PathList AsRenames(const std::vector<RenamePair>& moves);

    size_t RenamedFiles() const { return m_renamedFiles; }
    size_t RenamedFolders() const { return m_renamedFolders; }

private:
    void Plan(size_t first, int folderCounter, int fileCounter, const PathList& items,
              const std::unordered_set<std::u16string>& reserved);

    IFileSystem& m_fs;
    const IChangeGate& m_gate;
    std::vector<Item> m_items;  // in the rename list's order
    size_t m_planned = 0;
    size_t m_renamedFiles = 0, m_renamedFolders = 0;
    std::unordered_map<std::u16string, ItemIdentity> m_identities;  // files, by folded path
};
