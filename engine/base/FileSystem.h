// The file operations a run needs. platform/win32 implements them on Windows; the tests use an
// in-memory file system whose listing order and failures each test sets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The platform's path limit in UTF-16 units, terminator included: a longer path can neither be
// named on Windows nor be found by the player, so every layer refuses it the same way.
inline constexpr size_t kMaxPath = 260;

struct FolderEntry {
    std::u16string name;
    bool isDirectory = false;  // as the listing reports it
    bool isLink = false;       // a junction or symbolic link: never followed
    bool isOther = false;  // neither a file nor a folder (a pipe, device or socket): never opened
};

// What one step of a listing gave. Failed: the medium could not be read, so whatever the listing
// yielded so far is not the whole folder.
enum class ListStep { Entry, End, Failed };

// One open listing of a folder, "." and ".." included when the platform yields them.
class IFolderListing {
public:
    virtual ~IFolderListing() = default;
    virtual ListStep Next(FolderEntry& entry) = 0;
};

// The listing of a folder that could not be opened because reading the medium failed.
class FailedListing : public IFolderListing {
public:
    ListStep Next(FolderEntry&) override { return ListStep::Failed; }
};

// Held while one run works on a player; released when destroyed or when its process ends.
class IPlayerLock {
public:
    virtual ~IPlayerLock() = default;
};

// The answer to a request for the player: held, or why not. Only another run's hold is worth
// waiting for; any other failure would fail the same way on every try.
struct PlayerLock {
    std::unique_ptr<IPlayerLock> held;
    // When not held: 0 while another run holds the player, else the system's error code (errno,
    // or GetLastError on Windows) for why it could not be locked at all.
    int systemError = 0;

    explicit operator bool() const { return held != nullptr; }
};

// How far a replace got. A replace that moved the file but could not make the move durable has
// the new database in place, possibly not yet on the medium: neither "done" nor "old kept".
// TargetRemoved: the move failed after the system had removed the target (Windows' FAT driver
// removes it first): only the file that was to replace it is left.
enum class ReplaceResult { Failed, TargetRemoved, Replaced, ReplacedNotDurable };

// Whether two names of files lie on one chain of clusters. Shared: the system says both start at
// one place on the medium (one file under two names, as a cut inside a rename on FAT leaves).
// Apart: it says they start at two. Unknown: it cannot say where a file's data lies.
enum class DataPlace { Shared, Apart, Unknown };

// How a rename ended. Refused: the item keeps its old name (the target exists, the item is in use,
// the medium refused). RenamedNotDurable: the item has its new name, but the medium did not
// confirm it, so a cut could still lose the change.
enum class RenameResult { Refused, Renamed, RenamedNotDurable };

class IInputFile {
public:
    virtual ~IInputFile() = default;
    // Bytes read into `data`, 0 at the file's end, -1 when the medium could not be read.
    virtual long long Read(uint8_t* data, size_t size) = 0;
    // The file's length when it was opened.
    virtual uint64_t Size() const = 0;
    // Where the next read starts; false when the medium refused.
    virtual bool Seek(uint64_t offset) = 0;
};

class IOutputFile {
public:
    virtual ~IOutputFile() = default;
    // Bytes the medium took, possibly fewer than asked; 0 on failure.
    virtual size_t Write(const uint8_t* data, size_t size) = 0;
    // Forces what was written onto the medium.
    virtual bool Flush() = 0;
    virtual bool Close() = 0;
};

class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    // A listing of the folder's entries. Null when the folder is not there, may not be read or
    // cannot be named on this platform: the scans pass over it. A folder that is there but that
    // the medium fails to read gives a FailedListing.
    virtual std::unique_ptr<IFolderListing> ListFolder(const std::u16string& folder) = 0;
    virtual bool IsDirectory(const std::u16string& path) = 0;
    virtual bool Exists(const std::u16string& path) = 0;
    // Renames a file or folder; refuses when `to` exists, never replacing anything.
    virtual RenameResult Rename(const std::u16string& from, const std::u16string& to) = 0;
    // Called before the items of `folder` are renamed, with every new name they will take there,
    // so the file system can make room for them first. Changes nothing a listing shows; false
    // when the medium failed.
    virtual bool PrepareNames(const std::u16string& /*folder*/,
                              const std::vector<std::u16string>& /*names*/) {
        return true;
    }
    // A regular file, opened for reading: never a folder, pipe or device, and never waiting on
    // one. Null when there is none or it cannot be read.
    virtual std::unique_ptr<IInputFile> OpenInput(const std::u16string& path) = 0;
    // Creates the file for writing, cutting an existing one to length 0; null on failure.
    virtual std::unique_ptr<IOutputFile> CreateOutput(const std::u16string& path) = 0;
    // Moves `from` over `to`, replacing it in one step, and returns once that reached the medium.
    // Throws nothing once the file has moved, so a caller never takes a done move for a failed one.
    virtual ReplaceResult Replace(const std::u16string& from, const std::u16string& to) = 0;
    virtual bool Remove(const std::u16string& path) = 0;
    // Makes the entries of the folder that holds `path` durable: on FAT a new file's name is on
    // the medium only once its folder is, its long-name entries maybe in another sector.
    virtual bool SyncFolderOf(const std::u16string& path) = 0;
    // Cuts a file to `size` bytes, and returns once that reached the medium.
    virtual bool SetSize(const std::u16string& path, uint64_t size) = 0;
    // Whether two paths name one folder: two entries sharing its data, as a rename cut short on
    // FAT leaves. Two folders that only hold the same names are two.
    virtual bool SameFolder(const std::u16string& a, const std::u16string& b) = 0;
    // Whether two files share their data, as far as the system can tell.
    virtual DataPlace SameData(const std::u16string& /*a*/, const std::u16string& /*b*/) {
        return DataPlace::Unknown;
    }
    // Makes a folder, and returns once its entry reached the medium; false when it could not be
    // made (it is there already, the medium refused).
    virtual bool CreateFolder(const std::u16string& /*path*/) { return false; }
    // The bytes a program may still write on the volume that holds `path`; false when that
    // cannot be told.
    virtual bool FreeSpace(const std::u16string& /*path*/, uint64_t& /*bytes*/) { return false; }
    // Keeps every other run, in this process or another, off the player (the volume) that
    // `dbPath` lies on; not held while another run holds it, or when no lock can be had.
    virtual PlayerLock LockPlayer(const std::u16string& dbPath) = 0;
    // The system's error code (errno; GetLastError on Windows) for the last operation of this
    // file system that failed, so a failure can be named with its reason; 0 when none is known.
    virtual int LastError() const { return 0; }
};

// A file system in front of another that passes every call through: the base of the wrappers
// that count, time or charge some of the calls and override only those.
class ForwardingFileSystem : public IFileSystem {
public:
    explicit ForwardingFileSystem(IFileSystem& inner) : m_inner(inner) {}

    std::unique_ptr<IFolderListing> ListFolder(const std::u16string& folder) override {
        return m_inner.ListFolder(folder);
    }
    bool IsDirectory(const std::u16string& path) override { return m_inner.IsDirectory(path); }
    bool Exists(const std::u16string& path) override { return m_inner.Exists(path); }
    RenameResult Rename(const std::u16string& from, const std::u16string& to) override {
        return m_inner.Rename(from, to);
    }
    bool PrepareNames(const std::u16string& folder,
                      const std::vector<std::u16string>& names) override {
        return m_inner.PrepareNames(folder, names);
    }
    std::unique_ptr<IInputFile> OpenInput(const std::u16string& path) override {
        return m_inner.OpenInput(path);
    }
    std::unique_ptr<IOutputFile> CreateOutput(const std::u16string& path) override {
        return m_inner.CreateOutput(path);
    }
    ReplaceResult Replace(const std::u16string& from, const std::u16string& to) override {
        return m_inner.Replace(from, to);
    }
    bool Remove(const std::u16string& path) override { return m_inner.Remove(path); }
    bool SyncFolderOf(const std::u16string& path) override { return m_inner.SyncFolderOf(path); }
    bool SetSize(const std::u16string& path, uint64_t size) override {
        return m_inner.SetSize(path, size);
    }
    bool SameFolder(const std::u16string& a, const std::u16string& b) override {
        return m_inner.SameFolder(a, b);
    }
    DataPlace SameData(const std::u16string& a, const std::u16string& b) override {
        return m_inner.SameData(a, b);
    }
    PlayerLock LockPlayer(const std::u16string& dbPath) override {
        return m_inner.LockPlayer(dbPath);
    }
    bool CreateFolder(const std::u16string& path) override { return m_inner.CreateFolder(path); }
    bool FreeSpace(const std::u16string& path, uint64_t& bytes) override {
        return m_inner.FreeSpace(path, bytes);
    }
    int LastError() const override { return m_inner.LastError(); }

protected:
    IFileSystem& m_inner;
};

// No player's database is larger: a file beyond it is never read whole, nor taken for one.
inline constexpr uint64_t kLargestDatabase = 64u << 20;

enum class ReadResult { Read, TooLarge, Failed };

// A file read whole, when it is no longer than `limit`; Failed when it cannot be opened or read
// (the file system's LastError says why).
inline ReadResult ReadWholeFile(IFileSystem& fs, const std::u16string& path, uint64_t limit,
                                std::vector<uint8_t>& out) {
    auto file = fs.OpenInput(path);
    if (!file)
        return ReadResult::Failed;
    if (file->Size() > limit)
        return ReadResult::TooLarge;
    out.resize(static_cast<size_t>(file->Size()));
    size_t have = 0;
    while (have < out.size()) {
        long long got = file->Read(out.data() + have, out.size() - have);
        if (got <= 0)
            return ReadResult::Failed;
        have += static_cast<size_t>(got);
    }
    return ReadResult::Read;
}
