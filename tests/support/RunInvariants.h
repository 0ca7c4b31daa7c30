// What every run must leave on the player, whatever failed on the way: each file's bytes still
// there exactly once, either the old database or a complete new one listing the MP3 files now on
// disk, no temporary file, and a last status text that says which. Used by the fault-injection
// tests and the fuzzer.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "MemoryFileSystem.h"

struct RunBaseline {
    std::u16string rootDir;
    std::u16string dbPath;
    std::optional<Bytes> oldDb;  // must not be a well-formed database, so it cannot pass as new
    std::multiset<Bytes> files;  // every other file's bytes
    size_t folders = 0;
};

RunBaseline TakeBaseline(const MemoryFileSystem& fs, const std::u16string& rootDir,
                         const std::u16string& dbPath);

// The player paths a track scan of the tree finds now, in listing order, as a record stores them
// (cut to the name field).
std::vector<std::u16string> TracksOnDisk(MemoryFileSystem& fs, const std::u16string& rootDir);

// Empty when the run left the tree sound, else what is wrong. A new database must list every
// track on disk, whatever failed on the way.
std::string CheckRun(const RunBaseline& before, MemoryFileSystem& fs,
                     const std::u16string& lastText);

// For failure messages: ASCII as is, every other unit as \uXXXX.
std::string Printable(const std::u16string& text);
