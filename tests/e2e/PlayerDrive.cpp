// Builds the simulated player's contents through the Win32 file API, as Wine shows them to the
// program, and compares what a run left behind with what was there before.
#include "PlayerDrive.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <set>

#include "AppDriver.h"
#include "DatabaseFile.h"
#include "Win32FileSystem.h"

namespace {

bool IsDots(const wchar_t* name) {
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

std::vector<std::wstring> Split(const std::wstring& path) {
    std::vector<std::wstring> parts;
    size_t begin = 0;
    for (size_t at; (at = path.find(L'\\', begin)) != std::wstring::npos; begin = at + 1)
        parts.push_back(path.substr(begin, at - begin));
    parts.push_back(path.substr(begin));
    return parts;
}

bool IsNewName(const std::wstring& name, const wchar_t* format) {
    int number = 0;
    wchar_t again[64];
    return swscanf(name.c_str(), format, &number) == 1 && number > 0 &&
           _snwprintf(again, 64, format, number) > 0 && name == again;
}

// Below the program folder, or anywhere when the program sits in the drive's top folder.
bool IsUnder(const std::wstring& path, const std::wstring& folder) {
    return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == L'\\';
}

// The database, its temporary file, and the record of the renames a run is making.
// The database and the run's own files beside it. A kill inside the record's first write leaves it
// torn, and the next run sets it aside as iTunesSD.renames.damaged: the run's own file too.
bool IsDatabaseFile(const std::wstring& path) {
    std::wstring db = DatabasePath(path.substr(0, 2));
    return path == db || path == db + L".new" || path == db + L".renames" ||
           path == db + L".renames.damaged";
}

std::string Quote(const std::wstring& path) {
    return "\"" + Utf8(path) + "\"";
}

void Walk(const std::wstring& folder, Tree* tree) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (IsDots(data.cFileName))
            continue;
        std::wstring path = folder + L"\\" + data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            Walk(path, tree);
        else
            tree->emplace_back(path, ReadBytes(path));
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

bool RemoveContents(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return true;
    bool ok = true;
    do {
        if (IsDots(data.cFileName))
            continue;
        std::wstring path = folder + L"\\" + data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ok = RemoveContents(path) && RemoveDirectoryW(path.c_str()) && ok;
        else
            ok = (SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL),
                  DeleteFileW(path.c_str())) &&
                 ok;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return ok;
}

}  // namespace

std::wstring ProgramUnderTest() {
    return WinePath(ZORBEL_EXE);
}

Bytes ReadBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    Bytes data;
    if (file == INVALID_HANDLE_VALUE)
        return data;
    uint8_t buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got)
        data.insert(data.end(), buffer, buffer + got);
    CloseHandle(file);
    return data;
}

void MakeFolders(const std::wstring& folder) {
    for (size_t at = folder.find(L'\\', 3); at != std::wstring::npos;
         at = folder.find(L'\\', at + 1))
        CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
}

bool WriteBytes(const std::wstring& path, const Bytes& bytes) {
    MakeFolders(path.substr(0, path.rfind(L'\\')));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD wrote = 0;
    bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &wrote, nullptr) &&
              wrote == bytes.size();
    return CloseHandle(file) && ok;
}

bool WipeDrive(const std::wstring& drive, UINT expectedType) {
    if (GetDriveTypeW((drive + L"\\").c_str()) != expectedType)
        return false;
    return RemoveContents(drive);
}

std::wstring DatabasePath(const std::wstring& drive) {
    return drive + L"\\iPod_Control\\iTunes\\iTunesSD";
}

Bytes OldDatabase() {
    std::string text;
    while (text.size() < 3000)
        text += "old iTunesSD of the player, to be kept or replaced whole. ";
    return Bytes(text.begin(), text.end());
}

bool CreateTree(const std::wstring& drive, const std::vector<std::wstring>& paths) {
    bool ok = true;
    for (size_t i = 0; i < paths.size(); ++i) {
        std::wstring path = drive + L"\\" + paths[i];
        if (path.back() == L'\\') {
            path.pop_back();
            MakeFolders(path);
            continue;
        }
        std::string tag = Utf8(paths[i]) + " #" + std::to_string(i);
        ok = WriteBytes(path, Bytes(tag.begin(), tag.end())) && ok;
    }
    return ok;
}

std::vector<std::wstring> AlbumTree(int n, const std::wstring& top) {
    std::vector<std::wstring> paths;
    for (int i = 0; i < n; ++i) {
        int album = i / 25;
        std::wstring folder = (album % 4 == 1 ? L"专辑 " : L"Album ") + std::to_wstring(album);
        std::wstring track = (i % 7 == 3 ? L"歌曲 " : L"Track ") + std::to_wstring(i) + L".mp3";
        paths.push_back(top + folder + L"\\" + track);
    }
    return paths;
}

std::wstring InstallProgram(const std::wstring& folder) {
    MakeFolders(folder);
    std::wstring target = folder + L"\\Zorbel.exe";
    return CopyFileW(ProgramUnderTest().c_str(), target.c_str(), FALSE) ? target : L"";
}

bool IsWide(const std::wstring& name) {
    return std::any_of(name.begin(), name.end(), [](wchar_t unit) { return unit > 0xFF; });
}

bool IsMp3(const std::wstring& path) {
    if (path.size() < 3)
        return false;
    std::wstring tail = path.substr(path.size() - 3);
    for (wchar_t& unit : tail)
        if (unit >= L'A' && unit <= L'Z')
            unit += L'a' - L'A';
    return tail == L"mp3";
}

std::wstring PlayerPath(const std::wstring& fullPath) {
    std::wstring path = fullPath.substr(std::min<size_t>(2, fullPath.size()));
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return path;
}

Tree ListTree(const std::wstring& folder) {
    Tree tree;
    Walk(folder, &tree);
    return tree;
}

std::vector<std::wstring> ExpectedTracks(const std::wstring& programFolder) {
    std::vector<std::wstring> tracks;
    for (const auto& [path, bytes] : ListTree(programFolder))
        if (IsMp3(path))
            tracks.push_back(PlayerPath(path));
    return tracks;
}

bool PlayerHeld(const std::wstring& drive) {
    std::wstring db = DatabasePath(drive);
    Win32FileSystem fs;  // the program's own lock, by the program's own name for the player
    PlayerLock lock = fs.LockPlayer(std::u16string(db.begin(), db.end()));
    return !lock && lock.systemError == 0;
}

bool WaitForRunsToEnd(const std::wstring& drive, DWORD timeoutMs) {
    for (DWORD start = GetTickCount(); PlayerHeld(drive); Sleep(5))
        if (GetTickCount() - start >= timeoutMs)
            return false;
    return true;
}

bool RestoreTree(const std::wstring& drive, const Tree& before) {
    DeleteFileW((DatabasePath(drive) + L".new").c_str());
    DeleteFileW((DatabasePath(drive) + L".renames").c_str());
    DeleteFileW((DatabasePath(drive) + L".renames.damaged").c_str());
    std::map<Bytes, std::wstring> now;
    for (auto& [path, bytes] : ListTree(drive))
        now.emplace(bytes, path);
    // Files first, inside their folders' current names; then each folder before those above it,
    // so that its path still holds their current names.
    std::map<std::wstring, std::wstring> folders;
    for (const auto& [path, bytes] : before) {
        if (IsDatabaseFile(path)) {
            WriteBytes(path, bytes);
            continue;
        }
        auto found = now.find(bytes);
        if (found == now.end())
            return false;
        std::vector<std::wstring> was = Split(path), is = Split(found->second);
        if (was.size() != is.size())
            return false;
        std::wstring folder = is[0];
        for (size_t i = 1; i + 1 < is.size(); ++i) {
            folder += L"\\" + is[i];
            if (is[i] != was[i])
                folders[folder] = was[i];
        }
        if (is.back() != was.back() &&
            !MoveFileW(found->second.c_str(), (folder + L"\\" + was.back()).c_str()))
            return false;
    }
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
        std::wstring target = it->first.substr(0, it->first.rfind(L'\\') + 1) + it->second;
        if (!MoveFileW(it->first.c_str(), target.c_str()))
            return false;
    }
    return CheckUnchanged(before, ListTree(drive)).empty();
}

std::string CheckRenamed(const Tree& before, const Tree& after, const std::wstring& programFolder,
                         bool complete) {
    std::map<Bytes, std::wstring> oldPathOf;
    for (const auto& [path, bytes] : before)
        if (!IsDatabaseFile(path) && !oldPathOf.emplace(bytes, path).second)
            return "two files share their bytes: " + Quote(path);
    // Only a folder that directly holds an MP3 file may get a new name.
    std::set<std::wstring> mp3Folders;
    for (const auto& [path, bytes] : after)
        if (IsMp3(path))
            mp3Folders.insert(path.substr(0, path.rfind(L'\\')));
    const size_t top = Split(programFolder).size();
    size_t seen = 0;
    for (const auto& [path, bytes] : after) {
        if (IsDatabaseFile(path))
            continue;
        ++seen;
        auto old = oldPathOf.find(bytes);
        if (old == oldPathOf.end())
            return "new or changed file " + Quote(path);
        const std::wstring& was = old->second;
        std::vector<std::wstring> now = Split(path), then = Split(was);
        if (path != was && (!IsUnder(was, programFolder) || now.size() != then.size()))
            return Quote(was) + " moved to " + Quote(path);
        std::wstring folder = now[0];
        for (size_t i = 1; i < now.size() && path != was; ++i) {
            bool last = i + 1 == now.size();
            bool renamed = i >= top && IsWide(then[i]) &&
                           (last ? IsMp3(then[i]) && IsNewName(now[i], L"ST_FILE_%d.mp3")
                                 : IsNewName(now[i], L"ST_DIR_%d") &&
                                       mp3Folders.count(folder + L"\\" + now[i]));
            if (now[i] != then[i] && !renamed)
                return Quote(was) + " wrongly renamed to " + Quote(path);
            folder += L"\\" + now[i];
        }
        if (complete && IsUnder(path, programFolder) && IsMp3(path) &&
            (IsWide(now.back()) || (now.size() > top + 1 && IsWide(now[now.size() - 2]))))
            return "wide name left on " + Quote(path);
    }
    if (seen != oldPathOf.size())
        return std::to_string(oldPathOf.size()) + " files before, " + std::to_string(seen) +
               " after";
    return "";
}

std::string CheckUnchanged(const Tree& before, const Tree& after) {
    if (before.size() != after.size())
        return std::to_string(before.size()) + " files before, " + std::to_string(after.size()) +
               " after";
    for (size_t i = 0; i < before.size(); ++i)
        if (before[i] != after[i])
            return Quote(before[i].first) + " changed (now " + Quote(after[i].first) + ")";
    return "";
}

std::string CheckDatabase(const std::wstring& drive, const std::wstring& programFolder,
                          bool tempAllowed) {
    std::string why;
    auto db = ParseDatabase(ReadBytes(DatabasePath(drive)), &why);
    if (!db)
        return "iTunesSD does not parse: " + why;
    std::vector<std::wstring> expected = ExpectedTracks(programFolder);
    if (db->names.size() != expected.size())
        return "iTunesSD lists " + std::to_string(db->names.size()) + " tracks, the disk holds " +
               std::to_string(expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        std::wstring name(db->names[i].begin(), db->names[i].end());
        if (name != expected[i])
            return "record " + std::to_string(i) + " is " + Quote(name) + ", the disk lists " +
                   Quote(expected[i]);
    }
    if (!tempAllowed &&
        GetFileAttributesW((DatabasePath(drive) + L".new").c_str()) != INVALID_FILE_ATTRIBUTES)
        return "iTunesSD.new left behind";
    // With the new database in place, the record of the run's renames has gone with it.
    if (!tempAllowed &&
        GetFileAttributesW((DatabasePath(drive) + L".renames").c_str()) != INVALID_FILE_ATTRIBUTES)
        return "iTunesSD.renames left behind";
    return "";
}
