// What every run must leave on the player, whatever failed on the way: each file's bytes still
// there exactly once (but Zorbel's own spoken names, which a later generation's run may add and
// remove), either the old database or a complete new one listing the MP3 files now on disk, no
// temporary file, and an outcome value, with its text, that says which. Used by the
// fault-injection tests and the fuzzer.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "MemoryFileSystem.h"
#include "RecordingStatusLabel.h"

struct RunBaseline {
    std::u16string rootDir;
    std::u16string dbPath;
    std::optional<Bytes> oldDb;    // must not list the tree's tracks, so it cannot pass as new
    std::optional<Bytes> oldTemp;  // an iTunesSD.new that was there, as a file
    bool tempFolder = false;       // a folder named iTunesSD.new was there
    bool later = false;            // it (or, too short for a tag, iTunesSD.new) starts with "bdhs"
    bool owned = false;            // and holds a whole header: a run may keep what its owner set
    std::multiset<Bytes> files;    // every other file's bytes, but Zorbel's spoken names'
    size_t folders = 0;
    std::set<std::u16string> speakable;  // the spoken names' folders there: "\iPod_Control\..."
};

RunBaseline TakeBaseline(const MemoryFileSystem& fs, const std::u16string& rootDir,
                         const std::u16string& dbPath);

// The player paths a track scan of the tree finds now, in listing order, as a record stores them
// (cut to the name field; in the later layout, a path over its 255 UTF-8 bytes passed over).
std::vector<std::u16string> TracksOnDisk(MemoryFileSystem& fs, const std::u16string& rootDir,
                                         bool later = false);

// Empty when the run left the tree sound and the label's outcome and last text tell the truth
// about the database on disk, else what is wrong. Done and DatabaseNotDurable need the new
// database in the player's layout, listing every track on disk whatever failed on the way (and
// holding nothing an owner sets unless the old database could give it), and
// DatabaseNotReplaced that one as iTunesSD.new alone; any other outcome the old one, where it was
// or put in place. Never less database than before: the only one the player had is never gone.
std::string CheckRun(const RunBaseline& before, MemoryFileSystem& fs,
                     const RecordingStatusLabel& label);
std::string CheckRun(const RunBaseline& before, MemoryFileSystem& fs,
                     std::optional<RunOutcome> outcome, const std::u16string& lastText,
                     int systemError);

// The text that goes with an outcome.
std::u16string OutcomeText(RunOutcome outcome, int systemError);
const char* OutcomeName(RunOutcome outcome);

// For failure messages: ASCII as is, every other unit as \uXXXX.
std::string Printable(const std::u16string& text);
