// An in-memory file system in Windows path notation for the engine's tests. Folders list their
// entries in the order the test made them, any operation can be made to fail, and every call is
// counted so a test can fail each one in turn. Paths of 260 units or more are refused, as on
// Windows.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/FileSystem.h"

enum class FsOp {
    List,
    ListNext,
    IsDirectory,
    Exists,
    Rename,
    Create,
    Write,
    Flush,
    Close,
    Replace,
    Remove,
    Lock,
    Sync,  // a replace that has moved the file making the move durable
    Open,  // opening a file for reading
    Read,
    Prepare,      // making room in a folder for its coming new names
    RenameSync,   // a rename that has happened made durable
    SetSize,      // cutting a file to a length
    RenameEnter,  // Windows' FAT: the new entries written, after the old ones were removed
    FlushFolder,  // a file's folder made durable
    MakeFolder,   // a new folder
    FreeSpace,    // asking how much room the medium has left
};
const char* FsOpName(FsOp op);

using Bytes = std::vector<uint8_t>;

class MemoryFileSystem : public IFileSystem {
public:
    MemoryFileSystem();
    ~MemoryFileSystem() override;

    // Building a tree; parents are made as needed, each new entry goes to the end of its listing.
    void AddFolder(const std::u16string& path);
    void AddFile(const std::u16string& path, Bytes data = {});
    void AddLink(const std::u16string& path);                 // a folder entry that is a junction
    void SetLocked(const std::u16string& path, bool locked);  // in use: no rename, write or delete
    void SetClosed(const std::u16string& folder);  // may not be read: no listing, access denied
    // A second entry naming the file's chain of clusters, as a cut inside a rename or replace on
    // FAT leaves it: emptying, replacing or removing either name frees the data the other still
    // names (it reads empty from then on); the drive's check cuts the second name to nothing.
    void AddSecondName(const std::u16string& path, const std::u16string& second);

    // Reading it back.
    bool HasFile(const std::u16string& path) const;
    bool HasFolder(const std::u16string& path) const;
    Bytes Read(const std::u16string& path) const;  // empty when there is no such file
    // What a cut would leave of a file: a file written here only as far as a flush made it
    // durable (nothing before the first), any other file whole.
    Bytes ReadDurable(const std::u16string& path) const;
    std::vector<std::u16string> Names(const std::u16string& folder) const;  // in listing order
    // Every file and folder under the drives, by full path: files with their bytes, folders
    // with no value.
    std::map<std::u16string, std::unique_ptr<Bytes>> Snapshot() const;

    // Faults. `failWhen` is asked before every operation; true makes it fail. A listing that
    // fails to open or to step has failed to read the medium.
    std::function<bool(FsOp op, const std::u16string& path)> failWhen;
    size_t operations = 0;            // every call so far, listing steps and writes included
    size_t maxWriteChunk = SIZE_MAX;  // a write takes at most this many bytes (short writes)
    size_t capacity = SIZE_MAX;       // bytes of file data the medium holds in all
    // As Windows' FAT driver does: a replace removes the target before it moves the source, so a
    // replace failing (Replace or Sync) does so after the target is gone.
    bool replaceRemovesTargetFirst = false;
    // As Windows' FAT driver does: a rename whose new name takes another number of directory
    // entries removes the old ones, then writes the new ones (RenameEnter): a failure in between
    // leaves the item with no name, its data on the medium.
    bool renameRemovesFirst = false;
    // The drive's check: each item with no name saved at its drive's top as Windows' chkdsk
    // names it (FOUND.nnn\FILEnnnn.CHK, DIRnnnn.CHK), or as dosfstools' fsck.fat -a does
    // (FSCKnnnn.REC, a folder as a file of its raw entries); a file padded to whole clusters.
    void CheckDrive(bool dosfstools = false);
    static constexpr size_t kClusterBytes = 2048;
    // The bytes of every file that has no name now, and the folders that have none.
    std::vector<Bytes> NamelessFiles() const;
    size_t NamelessFolders() const;

    // IFileSystem
    std::unique_ptr<IFolderListing> ListFolder(const std::u16string& folder) override;
    bool IsDirectory(const std::u16string& path) override;
    bool Exists(const std::u16string& path) override;
    RenameResult Rename(const std::u16string& from, const std::u16string& to) override;
    bool PrepareNames(const std::u16string& folder,
                      const std::vector<std::u16string>& names) override;
    // Each PrepareNames call: the folder and its names.
    std::vector<std::pair<std::u16string, std::vector<std::u16string>>> prepared;
    std::unique_ptr<IOutputFile> CreateOutput(const std::u16string& path) override;
    std::unique_ptr<IInputFile> OpenInput(const std::u16string& path) override;
    ReplaceResult Replace(const std::u16string& from, const std::u16string& to) override;
    bool Remove(const std::u16string& path) override;
    bool SyncFolderOf(const std::u16string& path) override;
    bool SetSize(const std::u16string& path, uint64_t size) override;
    bool SameFolder(const std::u16string& a, const std::u16string& b) override;
    // Names of one chain share it; any other two lie apart, or, as Linux's vfat tells an
    // unprivileged program and Wine tells anyone, nobody can say.
    DataPlace SameData(const std::u16string& a, const std::u16string& b) override;
    bool tellsWhereDataLies = true;
    bool CreateFolder(const std::u16string& path) override;
    // What `capacity` leaves; unknown while the medium has no capacity set.
    bool FreeSpace(const std::u16string& path, uint64_t& bytes) override;
    // One run at a time per drive, like the real lock across processes. A failing lock is one
    // the system refused, with lockError as its error code.
    PlayerLock LockPlayer(const std::u16string& dbPath) override;
    int lockError = 5;
    // Windows' codes: a fault `failWhen` injects gives failError; the rest say what was wrong.
    int LastError() const override { return m_lastError; }
    int failError = 1117;  // ERROR_IO_DEVICE

    struct Node;
    bool Fails(FsOp op, const std::u16string& path);
    // The reason of a failure the tree itself gives (no such item, in use, name taken).
    template <class Result>
    Result Refuse(int error, Result result) {
        m_lastError = error;
        return result;
    }
    size_t UsedBytes() const;

private:
    Node* Find(const std::u16string& path) const;
    Node* FindParent(const std::u16string& path, std::u16string* name) const;
    Node* Make(const std::u16string& path, bool isDir, bool isLink);

    std::unique_ptr<Node> m_top;  // holds the drives ("E:") as its children
    // Items with no name, each with the drive it is on.
    std::vector<std::pair<std::u16string, std::unique_ptr<Node>>> m_nameless;
    std::set<std::u16string> m_lockedDrives;
    // Files under two names: each name's node and the other's, and the second names.
    std::map<const Node*, Node*> m_sameChain;
    std::set<const Node*> m_secondNames;
    void FreeChainOf(const Node* node);
    int m_lastError = 0;
};
