// The simulated player for the end-to-end tests: Wine drive P: (removable) and the fixed disk F:,
// wiped and filled per case, and the checks of what a run left on them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline constexpr wchar_t kPlayerDrive[] = L"P:";
inline constexpr wchar_t kFixedDrive[] = L"F:";

// The full path of the built program as the tests reach it.
std::wstring ProgramUnderTest();

Bytes ReadBytes(const std::wstring& path);
// Writes a file, making its folders first.
bool WriteBytes(const std::wstring& path, const Bytes& bytes);
void MakeFolders(const std::wstring& folder);

// Removes everything on the drive but the drive itself; refuses a drive of another type, so a
// wrong mapping can never wipe anything else.
bool WipeDrive(const std::wstring& drive, UINT expectedType);

std::wstring DatabasePath(const std::wstring& drive);
// A recognisable old iTunesSD, longer than the small databases the cases write.
Bytes OldDatabase();

// Creates drive-relative paths under the drive ("Music\a.mp3"; a path ending in '\' is an empty
// folder), each file with bytes of its own.
bool CreateTree(const std::wstring& drive, const std::vector<std::wstring>& paths);
// n tracks in albums of 25 below `top` (drive-relative, empty or ending in '\'); every fourth
// album and every seventh track wide-named.
std::vector<std::wstring> AlbumTree(int n, const std::wstring& top);
// Copies the program into a folder (made first); returns its full path or empty.
std::wstring InstallProgram(const std::wstring& folder);

bool IsWide(const std::wstring& name);
bool IsMp3(const std::wstring& path);
// "P:\Music\a.mp3" -> "/Music/a.mp3".
std::wstring PlayerPath(const std::wstring& fullPath);

// Every file under a folder with its bytes, depth first in the order this system lists each
// folder: the order a track scan meets them.
using Tree = std::vector<std::pair<std::wstring, Bytes>>;
Tree ListTree(const std::wstring& folder);
// The MP3 files under the program's folder as player paths, in listing order.
std::vector<std::wstring> ExpectedTracks(const std::wstring& programFolder);

// Whether a run of the program holds the drive's player now: the lock a run takes before its first
// step and lets go of only after its last. A probe that finds it free holds it for an instant, so
// it is asked only when no run is about to take it.
bool PlayerHeld(const std::wstring& drive);
// Waits until no run holds the drive's player. A run shows its last text before it is done with
// the player (the record of its renames goes after "完成"), so what it left is checked only once
// it has let go. False when a run still holds it after the timeout.
bool WaitForRunsToEnd(const std::wstring& drive, DWORD timeoutMs = 60000);

// Puts a drive that runs have renamed back into the state `before` lists, finding each file by
// its bytes, with the old database and no temporary file: a fresh player, far quicker than a new
// tree. True when the drive then lists exactly `before`.
bool RestoreTree(const std::wstring& drive, const Tree& before);

// Each returns an empty text when all is well, else what is wrong.
// Every file of `before` is still there with its bytes, under its old path or (below the program
// folder) with wide-named MP3 files and folders given ST_ names. With `complete` (a run that
// finished) none of those is left wide.
std::string CheckRenamed(const Tree& before, const Tree& after, const std::wstring& programFolder,
                         bool complete = true);
// Nothing changed at all: same paths, same bytes.
std::string CheckUnchanged(const Tree& before, const Tree& after);
// The database parses and lists exactly the MP3 files on disk under the program folder, and no
// temporary iTunesSD.new nor record of renames is left (unless `tempAllowed`: a killed run may
// leave them).
std::string CheckDatabase(const std::wstring& drive, const std::wstring& programFolder,
                          bool tempAllowed = false);
