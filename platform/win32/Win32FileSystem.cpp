#include "Win32FileSystem.h"

#include <windows.h>
#include <shlwapi.h>

#include "WideText.h"

namespace {

class FindListing : public IFolderListing {
public:
    FindListing(HANDLE find, const WIN32_FIND_DATAW& first) : m_find(find), m_data(first) {}
    ~FindListing() override { FindClose(m_find); }
    FindListing(const FindListing&) = delete;
    FindListing& operator=(const FindListing&) = delete;

    bool Next(FolderEntry& entry) override {
        if (m_pending) {
            m_pending = false;
        } else if (!FindNextFileW(m_find, &m_data)) {
            return false;
        }
        entry.name = FromWide(m_data.cFileName);
        entry.isDirectory = (m_data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // Junctions and symbolic links are reparse points; the scans never follow them.
        entry.isLink = (m_data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        return true;
    }

private:
    HANDLE m_find;
    WIN32_FIND_DATAW m_data;
    bool m_pending = true;  // the record FindFirstFileW returned is not taken yet
};

class FileOutput : public IOutputFile {
public:
    explicit FileOutput(HANDLE file) : m_file(file) {}
    ~FileOutput() override { Close(); }
    FileOutput(const FileOutput&) = delete;
    FileOutput& operator=(const FileOutput&) = delete;

    size_t Write(const uint8_t* data, size_t size) override {
        DWORD written = 0;
        DWORD ask = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        if (m_file == INVALID_HANDLE_VALUE || !WriteFile(m_file, data, ask, &written, nullptr))
            return 0;
        return written;
    }
    bool Flush() override { return m_file != INVALID_HANDLE_VALUE && FlushFileBuffers(m_file); }
    bool Close() override {
        if (m_file == INVALID_HANDLE_VALUE)
            return false;
        bool ok = CloseHandle(m_file) != 0;
        m_file = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE m_file;
};

}  // namespace

std::unique_ptr<IFolderListing> Win32FileSystem::ListFolder(const std::u16string& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(AsWide(folder + u"\\*"), &data);
    if (find == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<FindListing>(find, data);
}

bool Win32FileSystem::IsDirectory(const std::u16string& path) {
    return PathIsDirectoryW(AsWide(path)) != FALSE;
}

bool Win32FileSystem::Exists(const std::u16string& path) {
    return PathFileExistsW(AsWide(path)) != FALSE;
}

bool Win32FileSystem::Rename(const std::u16string& from, const std::u16string& to) {
    // Without MOVEFILE_REPLACE_EXISTING the platform refuses an existing target.
    return MoveFileW(AsWide(from), AsWide(to)) != FALSE;
}

std::unique_ptr<IOutputFile> Win32FileSystem::CreateOutput(const std::u16string& path) {
    HANDLE file = CreateFileW(AsWide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<FileOutput>(file);
}

bool Win32FileSystem::Replace(const std::u16string& from, const std::u16string& to) {
    return MoveFileExW(AsWide(from), AsWide(to),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool Win32FileSystem::Remove(const std::u16string& path) {
    return DeleteFileW(AsWide(path)) != FALSE;
}
