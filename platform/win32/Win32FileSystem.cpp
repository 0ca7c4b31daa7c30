#include "Win32FileSystem.h"

#include <windows.h>
#include <shlwapi.h>

#include "WideText.h"

namespace {

// Whether Windows takes the path for a device: "nul.mp3", "CON" or "LPT1.txt" in any folder names
// one, though a FAT player filled on Linux may hold files of those names. The system's own full
// path says so (\\.\NUL), by the rule of the Windows it runs on, which versions differ in.
bool NamesDevice(const std::u16string& path) {
    DWORD units = GetFullPathNameW(AsWide(path), 0, nullptr, nullptr);
    if (units == 0)
        return false;  // no full path: the open that follows fails on its own
    std::u16string full(units, u'\0');
    GetFullPathNameW(AsWide(path), units, reinterpret_cast<wchar_t*>(&full[0]), nullptr);
    return full.compare(0, 4, u"\\\\.\\") == 0;
}

// A file on a disk, not a device or pipe that a name opened: only such a file is read or written.
bool IsDiskFile(HANDLE file) {
    return GetFileType(file) == FILE_TYPE_DISK;
}

int SystemErrorCode();

// Each open listing and file keeps the reason of its own failure where the file system keeps
// its last error (`error`), so the engine names the call that failed.
class FindListing : public IFolderListing {
public:
    FindListing(HANDLE find, const WIN32_FIND_DATAW& first, int& error)
        : m_find(find), m_data(first), m_error(error) {}
    ~FindListing() override { FindClose(m_find); }
    FindListing(const FindListing&) = delete;
    FindListing& operator=(const FindListing&) = delete;

    ListStep Next(FolderEntry& entry) override {
        if (m_pending) {
            m_pending = false;
        } else if (!FindNextFileW(m_find, &m_data)) {
            // Anything but the normal end means entries went unread.
            if (GetLastError() == ERROR_NO_MORE_FILES)
                return ListStep::End;
            m_error = SystemErrorCode();
            return ListStep::Failed;
        }
        entry.name = FromWide(m_data.cFileName);
        entry.isDirectory = (m_data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // Junctions and symbolic links are reparse points; the scans never follow them.
        entry.isLink = (m_data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        return ListStep::Entry;
    }

private:
    HANDLE m_find;
    WIN32_FIND_DATAW m_data;
    int& m_error;
    bool m_pending = true;  // the record FindFirstFileW returned is not taken yet
};

class FileOutput : public IOutputFile {
public:
    explicit FileOutput(int& error) : m_error(error) {}
    ~FileOutput() override { Close(); }
    bool Open(const std::u16string& path) {
        m_file = CreateFileW(AsWide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        return m_file != INVALID_HANDLE_VALUE;
    }
    FileOutput(const FileOutput&) = delete;
    FileOutput& operator=(const FileOutput&) = delete;

    size_t Write(const uint8_t* data, size_t size) override {
        DWORD written = 0;
        DWORD ask = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        if (m_file == INVALID_HANDLE_VALUE || !WriteFile(m_file, data, ask, &written, nullptr))
            return Failed(0);
        return written;
    }
    // False, and closed, when the name opened something other than a file on a disk.
    bool OnDisk() {
        if (IsDiskFile(m_file))
            return true;
        Close();
        return false;
    }
    bool Flush() override {
        return m_file != INVALID_HANDLE_VALUE && (FlushFileBuffers(m_file) || Failed(false));
    }
    bool Close() override {
        if (m_file == INVALID_HANDLE_VALUE)
            return false;
        bool ok = CloseHandle(m_file) != 0 || Failed(false);
        m_file = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    template <class Result>
    Result Failed(Result result) {
        m_error = SystemErrorCode();
        return result;
    }

    int& m_error;
    HANDLE m_file = INVALID_HANDLE_VALUE;
};

// A named mutex: the system releases it when its process ends, however it ends. It belongs to the
// thread that took it, which is the thread that runs and ends the run.
class MutexLock : public IPlayerLock {
public:
    explicit MutexLock(HANDLE mutex) : m_mutex(mutex) {}
    ~MutexLock() override {
        ReleaseMutex(m_mutex);
        CloseHandle(m_mutex);
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    HANDLE m_mutex;
};

// Why a folder its parent listed cannot be opened: gone, closed to us, or a path the platform
// cannot name are passed over; anything else is the medium failing.
bool IsSkippable(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_ACCESS_DENIED:
        case ERROR_INVALID_NAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY:
            return true;
        default:
            return false;
    }
}

bool SetPosition(HANDLE file, uint64_t offset) {
    LONG high = static_cast<LONG>(offset >> 32);
    DWORD low = SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
    return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

// The identity of whatever a handle names: the volume and the file's index on it.
bool FileIdentity(HANDLE file, BY_HANDLE_FILE_INFORMATION& info) {
    return file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
}

class FileInput : public IInputFile {
public:
    FileInput(HANDLE file, uint64_t size, int& error)
        : m_file(file), m_size(size), m_error(error) {}
    ~FileInput() override { CloseHandle(m_file); }
    FileInput(const FileInput&) = delete;
    FileInput& operator=(const FileInput&) = delete;

    long long Read(uint8_t* data, size_t size) override {
        DWORD got = 0;
        DWORD ask = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        if (!ReadFile(m_file, data, ask, &got, nullptr)) {
            m_error = SystemErrorCode();
            return -1;
        }
        return got;
    }
    uint64_t Size() const override { return m_size; }
    bool Seek(uint64_t offset) override { return SetPosition(m_file, offset); }

private:
    HANDLE m_file;
    uint64_t m_size;
    int& m_error;
};

// The player's volume, the same whichever folder on it a path names: the volume's own name where
// the platform gives one, else the root the path lies under.
std::u16string PlayerLockName(const std::u16string& dbPath) {
    wchar_t root[MAX_PATH + 1] = {};
    if (!GetVolumePathNameW(AsWide(dbPath), root, MAX_PATH))
        lstrcpynW(root, AsWide(dbPath.substr(0, 2) + u"\\"), MAX_PATH);
    wchar_t volume[MAX_PATH + 1] = {};
    const wchar_t* key = GetVolumeNameForVolumeMountPointW(root, volume, MAX_PATH) ? volume : root;
    // No backslash may follow the namespace; drive letters compare without case.
    std::u16string name = u"Global\\Zorbel.Player.";
    for (; *key; ++key) {
        char16_t c = *key == L'\\' ? u'/' : static_cast<char16_t>(*key);
        name += c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
    }
    return name;
}

// The last error as the engine reports it: never 0, which would read as another run's hold.
int SystemErrorCode() {
    DWORD error = GetLastError();
    return static_cast<int>(error ? error : ERROR_GEN_FAILURE);
}

}  // namespace

std::unique_ptr<IFolderListing> Win32FileSystem::ListFolder(const std::u16string& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(AsWide(folder + u"\\*"), &data);
    if (find == INVALID_HANDLE_VALUE) {
        m_lastError = SystemErrorCode();
        if (IsSkippable(m_lastError))
            return nullptr;
        return std::make_unique<FailedListing>();
    }
    return std::make_unique<FindListing>(find, data, m_lastError);
}

bool Win32FileSystem::IsDirectory(const std::u16string& path) {
    return PathIsDirectoryW(AsWide(path)) != FALSE;
}

bool Win32FileSystem::Exists(const std::u16string& path) {
    return PathFileExistsW(AsWide(path)) != FALSE;
}

RenameResult Win32FileSystem::Rename(const std::u16string& from, const std::u16string& to) {
    // Without MOVEFILE_REPLACE_EXISTING the platform refuses an existing target. Written through,
    // the rename is on the medium before the next one starts, whatever the drive's removal policy.
    if (MoveFileExW(AsWide(from), AsWide(to), MOVEFILE_WRITE_THROUGH))
        return RenameResult::Renamed;
    m_lastError = SystemErrorCode();
    // Write-through reports a flush that failed after the move: the item then has its new name.
    if (!PathFileExistsW(AsWide(from)) && PathFileExistsW(AsWide(to)))
        return RenameResult::RenamedNotDurable;
    return RenameResult::Refused;
}

std::unique_ptr<IOutputFile> Win32FileSystem::CreateOutput(const std::u16string& path) {
    // A device's name is never opened for writing: its file on the player is not what it opens.
    if (NamesDevice(path)) {
        m_lastError = ERROR_INVALID_NAME;
        return nullptr;
    }
    // The object before the file: running out of memory must not leave an open handle behind.
    auto output = std::make_unique<FileOutput>(m_lastError);
    if (!output->Open(path)) {
        m_lastError = SystemErrorCode();
        return nullptr;
    }
    if (!output->OnDisk()) {
        m_lastError = ERROR_BAD_FILE_TYPE;
        return nullptr;
    }
    return output;
}

std::unique_ptr<IInputFile> Win32FileSystem::OpenInput(const std::u16string& path) {
    // A device's name is never opened: the read would take the device's bytes for the file's.
    if (NamesDevice(path)) {
        m_lastError = ERROR_INVALID_NAME;
        return nullptr;
    }
    HANDLE file = CreateFileW(AsWide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        m_lastError = SystemErrorCode();
        return nullptr;
    }
    LARGE_INTEGER size = {};
    bool onDisk = IsDiskFile(file);
    if (!onDisk || !GetFileSizeEx(file, &size)) {
        m_lastError = onDisk ? SystemErrorCode() : ERROR_BAD_FILE_TYPE;
        CloseHandle(file);
        return nullptr;
    }
    try {
        return std::make_unique<FileInput>(file, static_cast<uint64_t>(size.QuadPart), m_lastError);
    } catch (...) {
        CloseHandle(file);
        throw;
    }
}

ReplaceResult Win32FileSystem::Replace(const std::u16string& from, const std::u16string& to) {
    if (MoveFileExW(AsWide(from), AsWide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ReplaceResult::Replaced;
    m_lastError = SystemErrorCode();
    // Write-through reports a flush that failed after the move: the new file is then in place.
    bool sourceThere = PathFileExistsW(AsWide(from)) != FALSE;
    bool targetThere = PathFileExistsW(AsWide(to)) != FALSE;
    if (!sourceThere && targetThere)
        return ReplaceResult::ReplacedNotDurable;
    // FAT removes the target before the source takes its name; a failure in between leaves it gone.
    return sourceThere && !targetThere ? ReplaceResult::TargetRemoved : ReplaceResult::Failed;
}

bool Win32FileSystem::CreateFolder(const std::u16string& path) {
    if (CreateDirectoryW(AsWide(path), nullptr))
        return true;
    m_lastError = SystemErrorCode();
    return false;
}

// The room the user may still fill: quotas, where a volume has them, count.
bool Win32FileSystem::FreeSpace(const std::u16string& path, uint64_t& bytes) {
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW(AsWide(path), &available, nullptr, nullptr)) {
        m_lastError = SystemErrorCode();
        return false;
    }
    bytes = available.QuadPart;
    return true;
}

bool Win32FileSystem::Remove(const std::u16string& path) {
    if (DeleteFileW(AsWide(path)))
        return true;
    m_lastError = SystemErrorCode();
    return false;
}

bool Win32FileSystem::SetSize(const std::u16string& path, uint64_t size) {
    if (NamesDevice(path)) {  // as for CreateOutput: the device, not the file, would be written
        m_lastError = ERROR_INVALID_NAME;
        return false;
    }
    HANDLE file = CreateFileW(AsWide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        m_lastError = SystemErrorCode();
        return false;
    }
    bool ok = GetFileType(file) == FILE_TYPE_DISK && SetPosition(file, size) &&
              SetEndOfFile(file) && FlushFileBuffers(file);
    if (!ok)
        m_lastError = SystemErrorCode();
    CloseHandle(file);
    return ok;
}

// One folder under two names: a child opened through one name is the same file, by volume and
// index, as through the other (FAT keeps a child's entry where its folder's clusters are). Two
// folders that only hold the same names hold two files.
bool Win32FileSystem::SameFolder(const std::u16string& a, const std::u16string& b) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(AsWide(a + u"\\*"), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    std::u16string name;
    do {
        std::u16string found = FromWide(data.cFileName);
        if (found != u"." && found != u"..")
            name = found;
    } while (name.empty() && FindNextFileW(find, &data));
    FindClose(find);
    if (name.empty())
        return false;
    auto open = [&name](const std::u16string& folder) {
        return CreateFileW(AsWide(folder + u"\\" + name), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    };
    HANDLE first = open(a), second = open(b);
    BY_HANDLE_FILE_INFORMATION mine = {}, theirs = {};
    bool same = FileIdentity(first, mine) && FileIdentity(second, theirs) &&
                mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
                mine.nFileIndexHigh == theirs.nFileIndexHigh &&
                mine.nFileIndexLow == theirs.nFileIndexLow;
    for (HANDLE handle : {first, second})
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    return same;
}

PlayerLock Win32FileSystem::LockPlayer(const std::u16string& dbPath) {
    PlayerLock result;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, AsWide(PlayerLockName(dbPath)));
    if (!mutex) {
        result.systemError = SystemErrorCode();
        return result;
    }
    // An abandoned mutex is one whose run was killed: the player is free again.
    DWORD wait = WaitForSingleObject(mutex, 0);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        // A timeout is another run's hold; a failed wait would fail on every try.
        result.systemError = wait == WAIT_TIMEOUT ? 0 : SystemErrorCode();
        CloseHandle(mutex);
        return result;
    }
    try {
        result.held = std::make_unique<MutexLock>(mutex);
    } catch (...) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
        throw;
    }
    return result;
}
