// The engine on a real folder tree through the Win32 file system: wide names, the database as
// it lands on disk, and a database that cannot be replaced.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <thread>

#include "DatabaseFile.h"
#include "base/Messages.h"
#include "RecordingStatusLabel.h"
#include "run/SyncJob.h"
#include "base/Text.h"
#include "WideText.h"
#include "Win32FileSystem.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::u16string& path) {
    HANDLE file = CreateFileW(AsWide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    Bytes data;
    if (file == INVALID_HANDLE_VALUE)
        return data;
    uint8_t buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got)
        data.insert(data.end(), buffer, buffer + got);
    CloseHandle(file);
    return data;
}

void WriteFile(const std::u16string& path, const Bytes& data) {
    HANDLE file = CreateFileW(AsWide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD wrote = 0;
    ::WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &wrote, nullptr);
    CloseHandle(file);
}

// The same file named so that no device name is read into it: "\\?\C:\...\nul.mp3" is the
// file, "C:\...\nul.mp3" the NUL device.
std::u16string Literal(const std::u16string& path) {
    return u"\\\\?\\" + path;
}

void RemoveTree(const std::u16string& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(AsWide(folder + u"\\*"), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::u16string name = FromWide(data.cFileName);
            if (IsDotEntry(name))
                continue;
            std::u16string path = JoinPath(folder, name);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                continue;  // never reach through a link; the test that made it removes it
            else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileW(AsWide(Literal(path)));
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(AsWide(folder));
}

// Every file under the folder, by full path, with its bytes; and the MP3 files as player paths in
// the order this system lists them, which is the order the database must have.
void Walk(const std::u16string& folder, std::map<std::u16string, Bytes>* files,
          std::vector<std::u16string>* tracks) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(AsWide(folder + u"\\*"), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::u16string name = FromWide(data.cFileName);
        if (IsDotEntry(name))
            continue;
        std::u16string path = JoinPath(folder, name);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            continue;
        } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Walk(path, files, tracks);
        } else {
            (*files)[path] = ReadFile(path);
            if (tracks && EndsWithMp3(path))
                tracks->push_back(ToPlayerPath(path));
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

std::multiset<Bytes> Contents(const std::map<std::u16string, Bytes>& files) {
    std::multiset<Bytes> all;
    for (const auto& [path, bytes] : files)
        if (path.find(u"iTunesSD") == std::u16string::npos)
            all.insert(bytes);
    return all;
}

struct PlayerTree : ::testing::Test {
    PlayerTree() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root = FromWide(temp) + u"zorbel-fs-" + FormatNumber(u"%d", GetCurrentProcessId());
        if (root.back() == u'\\')
            root.pop_back();
        RemoveTree(root);
        CreateDirectoryW(AsWide(root), nullptr);
        for (auto sub : {u"\\iPod_Control", u"\\iPod_Control\\iTunes"})
            CreateDirectoryW(AsWide(root + sub), nullptr);
        dbPath = root + u"\\iPod_Control\\iTunes\\iTunesSD";
        job.SetStatusLabel(&label);
        // The tree is not at a drive's top, where the check looks: it is accepted as it is.
        job.ApplyLocation({LocationOutcome::Ready, root, dbPath});
    }
    ~PlayerTree() override { RemoveTree(root); }

    void AddFolder(const std::u16string& rel) { CreateDirectoryW(AsWide(root + rel), nullptr); }
    void AddFile(const std::u16string& rel) {
        std::string tag(rel.begin(), rel.end());  // distinct bytes per file
        WriteFile(root + rel, Bytes(tag.begin(), tag.end()));
    }

    std::u16string root, dbPath;
    Win32FileSystem fs;
    RecordingStatusLabel label;
    CSyncJob job{fs};
};

TEST_F(PlayerTree, WideNamesRenamedAndDatabaseFollowsListing) {
    AddFolder(u"\\歌曲");
    AddFile(u"\\歌曲\\晴天.mp3");
    AddFile(u"\\歌曲\\plain.mp3");
    AddFolder(u"\\Mix");
    AddFolder(u"\\Mix\\日本語");
    AddFile(u"\\Mix\\日本語\\さくら.MP3");
    AddFile(u"\\Mix\\song🎵.mp3");
    AddFile(u"\\Mix\\封面.jpg");
    AddFile(u"\\Café.mp3");
    WriteFile(dbPath, Bytes(5000, 0xAB));  // longer than the new database
    std::map<std::u16string, Bytes> before;
    Walk(root, &before, nullptr);

    CSyncJob::SyncThreadProc(&job);

    std::map<std::u16string, Bytes> after;
    std::vector<std::u16string> tracks;
    Walk(root, &after, &tracks);
    EXPECT_EQ(Contents(after), Contents(before));
    for (const auto& [path, bytes] : after) {
        size_t name = FileNameOffset(path);
        bool wideMp3 = EndsWithMp3(path) && HasWideUnits(path.substr(name));
        EXPECT_FALSE(wideMp3) << "still wide";
    }
    EXPECT_TRUE(after.count(root + u"\\Café.mp3"));
    EXPECT_TRUE(after.count(root + u"\\Mix\\封面.jpg"));

    std::string why;
    auto db = ParseDatabase(ReadFile(dbPath), &why);
    ASSERT_TRUE(db) << why;
    // The tree sits in a folder, so player paths carry the folder's path after the drive.
    EXPECT_EQ(db->names, tracks);
    EXPECT_EQ(db->names.size(), 5u);
    EXPECT_EQ(label.text, kMsgDone);
    EXPECT_FALSE(fs.Exists(dbPath + u".new"));
}

TEST_F(PlayerTree, LockedDatabaseStaysAsItWas) {
    AddFile(u"\\a.mp3");
    Bytes old(700, 0x5C);
    WriteFile(dbPath, old);
    // Held open without sharing, as another program might: it can be neither replaced nor read.
    HANDLE hold = CreateFileW(AsWide(dbPath), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    CSyncJob::SyncThreadProc(&job);
    CloseHandle(hold);

    EXPECT_EQ(ReadFile(dbPath), old);
    EXPECT_EQ(label.text, kMsgDatabaseFailed);
    EXPECT_FALSE(fs.Exists(dbPath + u".new"));
}

TEST_F(PlayerTree, FileSystemOperations) {
    AddFolder(u"\\日本");
    AddFile(u"\\日本\\x.mp3");
    EXPECT_TRUE(fs.IsDirectory(root + u"\\日本"));
    EXPECT_FALSE(fs.IsDirectory(root + u"\\日本\\x.mp3"));
    EXPECT_TRUE(fs.Exists(root + u"\\日本\\x.mp3"));
    EXPECT_FALSE(fs.Exists(root + u"\\nothing"));
    AddFile(u"\\日本\\y.mp3");
    // A rename never replaces an existing item.
    EXPECT_EQ(fs.Rename(root + u"\\日本\\x.mp3", root + u"\\日本\\y.mp3"), RenameResult::Refused);
    EXPECT_EQ(fs.Rename(root + u"\\日本\\x.mp3", root + u"\\日本\\z.mp3"), RenameResult::Renamed);
    EXPECT_EQ(fs.ListFolder(root + u"\\missing"), nullptr);

    std::vector<std::u16string> names;
    auto listing = fs.ListFolder(root + u"\\日本");
    ASSERT_NE(listing, nullptr);
    FolderEntry entry;
    while (listing->Next(entry) == ListStep::Entry)
        if (!IsDotEntry(entry.name))
            names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::u16string>{u"y.mp3", u"z.mp3"}));

    // One folder under two names is one; a copy holding the same names is another.
    AddFolder(u"\\copy");
    AddFile(u"\\copy\\y.mp3");
    AddFile(u"\\copy\\z.mp3");
    EXPECT_TRUE(fs.SameFolder(root + u"\\日本", root + u"\\日本"));
    EXPECT_FALSE(fs.SameFolder(root + u"\\日本", root + u"\\copy"));
    // A file is where it is; a copy of the same bytes is never taken for it (Wine has no map of
    // clusters, so there it is unknown).
    EXPECT_EQ(fs.SameData(root + u"\\日本\\y.mp3", root + u"\\日本\\y.mp3"), DataPlace::Shared);
    EXPECT_NE(fs.SameData(root + u"\\日本\\y.mp3", root + u"\\copy\\y.mp3"), DataPlace::Shared);
    EXPECT_EQ(fs.SameData(root + u"\\日本\\y.mp3", root + u"\\missing.mp3"), DataPlace::Unknown);

    // A new folder, never over what is there; the room left on the drive.
    EXPECT_TRUE(fs.CreateFolder(root + u"\\Speakable"));
    EXPECT_TRUE(fs.IsDirectory(root + u"\\Speakable"));
    EXPECT_FALSE(fs.CreateFolder(root + u"\\Speakable"));
    EXPECT_EQ(fs.LastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(fs.CreateFolder(root + u"\\missing\\Tracks"));
    uint64_t free = 0;
    ASSERT_TRUE(fs.FreeSpace(root, free));
    EXPECT_GT(free, 0u);
    EXPECT_FALSE(fs.FreeSpace(u"Q:\\nowhere", free));
}

// Names Windows takes for a device (as Windows up to 10 and Wine do), which a FAT player filled
// on Linux may hold as files; and names that only look like them. No name here is mapped to a
// real device in the test prefix (COM1 is the host's serial port), so a fault cannot reach one.
struct DeviceNameRow {
    const char16_t* name;
    bool device;
};

const DeviceNameRow kDeviceNames[] = {
    {u"nul.mp3", true},   {u"NUL", true},        {u"con.mp3", true},    {u"AUX", true},
    {u"prn.MP3", true},   {u"COM7.mp3", true},   {u"LPT1.txt", true},   {u"nul .mp3", true},
    {u"null.mp3", false}, {u"COM10.mp3", false}, {u"x.nul.mp3", false}, {u"console.mp3", false},
};

// Such a file is listed and played like any other, but never opened as the device: a read fails
// with a reason instead of reading the device, and nothing is written to one.
TEST_F(PlayerTree, DeviceNamesAreNeverOpened) {
    AddFolder(u"\\Music");
    std::vector<std::u16string> tracks;
    for (const auto& row : kDeviceNames) {
        std::u16string path = root + u"\\Music\\" + row.name;
        WriteFile(Literal(path), Bytes(path.begin(), path.end()));
        if (EndsWithMp3(path))
            tracks.push_back(ToPlayerPath(path));
    }
    for (const auto& row : kDeviceNames) {
        std::u16string path = root + u"\\Music\\" + row.name;
        std::string name(path.begin() + root.size(), path.end());
        Bytes bytes(path.begin(), path.end());
        auto input = fs.OpenInput(path);
        EXPECT_EQ(input == nullptr, row.device) << name;
        if (row.device) {
            EXPECT_EQ(fs.LastError(), ERROR_INVALID_NAME) << name;
        } else if (input) {
            EXPECT_EQ(input->Size(), bytes.size()) << name;
        }
        input.reset();
        // A file that is one is cut short, then to nothing by its output; the device's file stays
        // whole.
        EXPECT_EQ(fs.SetSize(path, 2), !row.device) << name;
        if (row.device) {
            EXPECT_EQ(fs.LastError(), ERROR_INVALID_NAME) << name;
        }
        EXPECT_EQ(ReadFile(Literal(path)),
                  row.device ? bytes : Bytes(bytes.begin(), bytes.begin() + 2))
            << name;
        auto output = fs.CreateOutput(path);
        EXPECT_EQ(output == nullptr, row.device) << name;
        if (row.device) {
            EXPECT_EQ(fs.LastError(), ERROR_INVALID_NAME) << name;
        }
        if (output) {
            EXPECT_TRUE(output->Close()) << name;
        }
        EXPECT_EQ(ReadFile(Literal(path)), row.device ? bytes : Bytes()) << name;
    }

    CSyncJob::SyncThreadProc(&job);
    EXPECT_EQ(label.text, kMsgDone);
    std::string why;
    auto db = ParseDatabase(ReadFile(dbPath), &why);
    ASSERT_TRUE(db) << why;
    std::vector<std::u16string> listed = db->names;
    std::sort(listed.begin(), listed.end());
    std::sort(tracks.begin(), tracks.end());
    EXPECT_EQ(listed, tracks);
}

// The Win32 file system is linked into this program, so its MoveFileExW goes through this
// program's own import slot: a test points the slot at a stand-in that fails a move halfway.
using MoveFileExProc = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
extern "C" MoveFileExProc g_moveFileExSlot __asm__("__imp__MoveFileExW@12");

enum class MoveFault {
    None,           // the system's own move
    Refused,        // fails before anything moved
    FlushFailed,    // moved, then the write-through flush fails, as on a drive pulled out
    TargetRemoved,  // fails once the target is gone: Windows' FAT driver cut mid-replace
};

constexpr DWORD kFaultError = ERROR_IO_DEVICE;
MoveFault g_moveFault = MoveFault::None;
MoveFileExProc g_systemMoveFileEx = nullptr;

BOOL WINAPI FaultyMoveFileEx(LPCWSTR from, LPCWSTR to, DWORD flags) {
    switch (g_moveFault) {
        case MoveFault::None:
            return g_systemMoveFileEx(from, to, flags);
        case MoveFault::Refused:
            break;
        case MoveFault::FlushFailed:
            if (!g_systemMoveFileEx(from, to, flags))
                return FALSE;
            break;
        case MoveFault::TargetRemoved:
            DeleteFileW(to);
            break;
    }
    SetLastError(kFaultError);
    return FALSE;
}

void PointMoveSlotAt(MoveFileExProc proc) {
    DWORD was = 0;
    ASSERT_TRUE(VirtualProtect(&g_moveFileExSlot, sizeof proc, PAGE_READWRITE, &was));
    g_moveFileExSlot = proc;
    VirtualProtect(&g_moveFileExSlot, sizeof proc, was, &was);
}

// The stand-in in this program's slot while it lives.
class MoveFaultScope {
public:
    explicit MoveFaultScope(MoveFault fault) {
        g_moveFault = fault;
        g_systemMoveFileEx = g_moveFileExSlot;
        PointMoveSlotAt(FaultyMoveFileEx);
    }
    ~MoveFaultScope() { PointMoveSlotAt(g_systemMoveFileEx); }
    MoveFaultScope(const MoveFaultScope&) = delete;
    MoveFaultScope& operator=(const MoveFaultScope&) = delete;
};

// A move that failed tells, by where the item is, whether it took place: one that moved but was
// not confirmed on the medium is neither done nor refused.
struct MoveFaultRow {
    const char* name;
    MoveFault fault;
    RenameResult rename;
    ReplaceResult replace;
};

const MoveFaultRow kMoveFaults[] = {
    {"moved", MoveFault::None, RenameResult::Renamed, ReplaceResult::Replaced},
    {"refused", MoveFault::Refused, RenameResult::Refused, ReplaceResult::Failed},
    {"moved, flush failed", MoveFault::FlushFailed, RenameResult::RenamedNotDurable,
     ReplaceResult::ReplacedNotDurable},
    {"target removed, then failed", MoveFault::TargetRemoved, RenameResult::Refused,
     ReplaceResult::TargetRemoved},
};

TEST_F(PlayerTree, MovesThatFailHalfway) {
    const std::u16string from = root + u"\\从.mp3", to = root + u"\\ST_FILE_1.mp3";
    const Bytes song{1, 2, 3}, old{4, 5};
    for (const auto& row : kMoveFaults) {
        WriteFile(from, song);
        DeleteFileW(AsWide(to));
        RenameResult renamed;
        {
            MoveFaultScope scope(row.fault);
            renamed = fs.Rename(from, to);
        }
        EXPECT_EQ(renamed, row.rename) << row.name;
        bool moved = row.rename != RenameResult::Refused;
        EXPECT_EQ(ReadFile(moved ? to : from), song) << row.name;
        EXPECT_FALSE(fs.Exists(moved ? from : to)) << row.name;
        if (row.fault != MoveFault::None) {
            EXPECT_EQ(fs.LastError(), int(kFaultError)) << row.name;
        }

        WriteFile(from, song);
        WriteFile(to, old);
        ReplaceResult replaced;
        {
            MoveFaultScope scope(row.fault);
            replaced = fs.Replace(from, to);
        }
        EXPECT_EQ(replaced, row.replace) << row.name;
        switch (row.replace) {
            case ReplaceResult::Replaced:
            case ReplaceResult::ReplacedNotDurable:
                EXPECT_FALSE(fs.Exists(from)) << row.name;
                EXPECT_EQ(ReadFile(to), song) << row.name;
                break;
            case ReplaceResult::Failed:
                EXPECT_EQ(ReadFile(from), song) << row.name;
                EXPECT_EQ(ReadFile(to), old) << row.name;
                break;
            case ReplaceResult::TargetRemoved:
                EXPECT_EQ(ReadFile(from), song) << row.name;
                EXPECT_FALSE(fs.Exists(to)) << row.name;
                break;
        }
        if (row.fault != MoveFault::None) {
            EXPECT_EQ(fs.LastError(), int(kFaultError)) << row.name;
        }
    }
}

// The Linux path Wine keeps a Windows path at.
std::string UnixPath(const std::u16string& path) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    FARPROC proc = GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name");
    auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(proc));
    char* name = unixName ? unixName(AsWide(path)) : nullptr;
    std::string out = name ? name : "";
    if (name)
        HeapFree(GetProcessHeap(), 0, name);
    return out;
}

// Wine starts a Linux program when asked to, though it gives no handle to wait on: the caller
// polls for the effect. Arguments are split by the Windows rules, so they go in double quotes.
bool StartLinuxProgram(const std::string& program, const std::string& args) {
    std::string cmd = program + " " + args;
    std::wstring wide(cmd.begin(), cmd.end());  // ASCII paths only
    std::wstring exe = L"Z:" + std::wstring(program.begin(), program.end());
    for (auto& unit : exe)
        if (unit == L'/')
            unit = L'\\';
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    return CreateProcessW(exe.c_str(), wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &si, &pi);
}

bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 300 && !done(); ++i)
        Sleep(10);
    return done();
}

// Wine stubs CreateSymbolicLinkW; a real symbolic link made from Linux is listed as a reparse
// point, as Windows lists a junction.
bool MakeFolderLink(const std::u16string& target, const std::u16string& link) {
    std::string from = UnixPath(target), to = UnixPath(link);
    if (from.empty() || to.empty() ||
        !StartLinuxProgram("/bin/ln", "-s \"" + from + "\" \"" + to + "\""))
        return false;
    return WaitFor([&] {
        DWORD attributes = GetFileAttributesW(AsWide(link));
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    });
}

void RemoveFolderLink(const std::u16string& link) {
    std::string path = UnixPath(link);
    if (!path.empty() && StartLinuxProgram("/bin/rm", "-f \"" + path + "\""))
        WaitFor([&] { return GetFileAttributesW(AsWide(link)) == INVALID_FILE_ATTRIBUTES; });
}

TEST_F(PlayerTree, LinkedFolderIsNotFollowed) {
    // The link's target lies beside the player tree, standing for another drive.
    std::u16string outside = root + u"-outside";
    RemoveTree(outside);
    CreateDirectoryW(AsWide(outside), nullptr);
    WriteFile(outside + u"\\外面.mp3", Bytes{1, 2, 3});
    std::u16string link = root + u"\\link";
    if (!MakeFolderLink(outside, link))
        GTEST_SKIP() << "cannot make a link here";
    AddFile(u"\\a.mp3");

    CSyncJob::SyncThreadProc(&job);

    EXPECT_TRUE(fs.Exists(outside + u"\\外面.mp3"));  // not renamed through the link
    auto db = ParseDatabase(ReadFile(dbPath));
    ASSERT_TRUE(db);
    EXPECT_EQ(db->names, (std::vector<std::u16string>{ToPlayerPath(root + u"\\a.mp3")}));
    RemoveFolderLink(link);
    EXPECT_FALSE(fs.Exists(link));
    RemoveTree(outside);
}

// A file another program holds open keeps its name, and the run lists it under that name.
TEST_F(PlayerTree, FileInUseKeepsItsName) {
    AddFolder(u"\\a");
    AddFile(u"\\a\\用.mp3");
    std::u16string inUse = root + u"\\a\\用.mp3";
    HANDLE hold = CreateFileW(AsWide(inUse), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    CSyncJob::SyncThreadProc(&job);
    CloseHandle(hold);

    EXPECT_TRUE(fs.Exists(inUse));
    auto db = ParseDatabase(ReadFile(dbPath));
    ASSERT_TRUE(db);
    EXPECT_EQ(db->names, (std::vector<std::u16string>{ToPlayerPath(inUse)}));
    EXPECT_EQ(label.text, kMsgDone);
}

bool Writable(const std::u16string& path) {
    HANDLE file = CreateFileW(AsWide(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

// A read-only database on a medium that enforces it (as root, Wine would write it anyway, so
// the file is made immutable from Linux) stays exactly as it was.
TEST_F(PlayerTree, UnwritableDatabaseStaysAsItWas) {
    AddFile(u"\\a.mp3");
    Bytes old(600, 0x33);
    WriteFile(dbPath, old);
    SetFileAttributesW(AsWide(dbPath), FILE_ATTRIBUTE_READONLY);
    std::string unixDb = UnixPath(dbPath);
    if (unixDb.empty() || !StartLinuxProgram("/usr/bin/chattr", "+i \"" + unixDb + "\"") ||
        !WaitFor([&] { return !Writable(dbPath); }))
        GTEST_SKIP() << "cannot make the database unwritable here";

    CSyncJob::SyncThreadProc(&job);
    StartLinuxProgram("/usr/bin/chattr", "-i \"" + unixDb + "\"");
    WaitFor([&] { return Writable(dbPath); });
    SetFileAttributesW(AsWide(dbPath), FILE_ATTRIBUTE_NORMAL);

    EXPECT_EQ(ReadFile(dbPath), old);
    EXPECT_EQ(label.text, kMsgDatabaseFailed);
    EXPECT_FALSE(fs.Exists(dbPath + u".new"));
}

// The lock is the player's, whichever path on it is named, across threads as across processes;
// one whose holder died without letting go is free again.
TEST(PlayerLock, OneRunPerVolume) {
    Win32FileSystem fs;
    auto elsewhere = [&](const std::u16string& path) {
        bool had = false;
        std::thread([&] { had = bool(fs.LockPlayer(path)); }).join();
        return had;
    };
    auto held = fs.LockPlayer(u"P:\\iPod_Control\\iTunes\\iTunesSD");
    ASSERT_TRUE(held);
    EXPECT_EQ(held.systemError, 0);
    EXPECT_FALSE(elsewhere(u"p:\\Music\\iTunesSD"));
    int busy = -1;  // another run's hold is no error
    std::thread([&] { busy = fs.LockPlayer(u"P:\\iPod_Control").systemError; }).join();
    EXPECT_EQ(busy, 0);
    EXPECT_TRUE(elsewhere(u"F:\\iPod_Control\\iTunes\\iTunesSD"));
    held.held.reset();
    EXPECT_TRUE(elsewhere(u"P:\\iPod_Control\\iTunes\\iTunesSD"));

    IPlayerLock* leaked = nullptr;  // as if its run were killed
    std::thread([&] { leaked = fs.LockPlayer(u"P:\\x").held.release(); }).join();
    EXPECT_NE(leaked, nullptr);
    EXPECT_TRUE(elsewhere(u"P:\\x"));
}

TEST_F(PlayerTree, OverlongPathsAreLeftAlone) {
    // Folder part plus name reach past the platform's 260-unit limit.
    AddFolder(u"\\d");
    std::u16string folder = root + u"\\d";
    std::u16string longName(259 - folder.size(), u'长');
    longName += u".mp3";
    std::u16string longPath = JoinPath(folder, longName);
    ASSERT_GE(longPath.size(), 260u);
    HANDLE file =
        CreateFileW(AsWide(longPath), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        GTEST_SKIP() << "this system refuses such paths outright";
    CloseHandle(file);

    CSyncJob::SyncThreadProc(&job);
    EXPECT_TRUE(fs.Exists(longPath) ||
                GetFileAttributesW(AsWide(longPath)) != INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(label.text, kMsgDone);
}

}  // namespace
