// Real folders for the native tests of the POSIX file system and the zorbel command: a player
// laid out in a temporary folder, and what a run left in it, read back in this system's order.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using HostBytes = std::vector<uint8_t>;

// A fresh folder under the system's temporary folder; removed with RemoveTree.
std::string MakeTempFolder();
// Removes a folder and everything in it, links themselves but never what they lead to.
void RemoveTree(const std::string& folder);

HostBytes ReadHostFile(const std::string& path);
// Writes a file, making its folders first.
bool WriteHostFile(const std::string& path, const HostBytes& bytes);

// A player under `top`: the old database below (not a well-formed one) and each relative path
// as a file whose bytes are its path ("a/" is an empty folder).
HostBytes OldDatabaseBytes();
bool MakeHostPlayer(const std::string& top, const std::vector<std::string>& paths);

// Every file under the folder with its bytes, depth first in the order this system lists each
// folder, relative to it; links are not followed.
std::vector<std::pair<std::string, HostBytes>> HostFiles(const std::string& folder);

// Every file and folder under the folder with its modification time in nanoseconds.
std::vector<std::pair<std::string, int64_t>> HostTimes(const std::string& folder);

// The MP3 files under `top`/`below` as the player's paths ("/a/b.mp3"), in listing order: the
// order a track scan meets them.
std::vector<std::u16string> HostTracks(const std::string& top, const std::string& below = "");

// Runs a program with arguments, its output in `out` and `err`; returns its exit code (or -1).
int RunProgram(const std::vector<std::string>& args, std::string* out = nullptr,
               std::string* err = nullptr);

// RunProgram as another user and group, with no supplementary groups; -2 when the system does not
// let this process switch to them (only root may).
int RunProgramAs(unsigned user, unsigned group, const std::vector<std::string>& args,
                 std::string* out = nullptr, std::string* err = nullptr);

// Makes a file unchangeable (chattr +i) or changeable again; false where the system cannot.
bool SetImmutable(const std::string& path, bool on);
