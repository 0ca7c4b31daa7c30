#include "RunInvariants.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "database/Database.h"
#include "DatabaseFile.h"
#include "base/Messages.h"
#include "record/RenameRecord.h"
#include "base/Text.h"
#include "speech/SpokenWave.h"

namespace {

std::u16string TempPath(const std::u16string& dbPath) {
    return dbPath + u".new";
}

// The record of a run's renames, its replacement written beside it, and a damaged one set aside
// may stay.
bool IsDatabaseFile(const std::u16string& path, const std::u16string& dbPath) {
    const std::u16string record = RenameRecordPath(dbPath);
    return EqualsFolded(path, dbPath) || EqualsFolded(path, TempPath(dbPath)) ||
           EqualsFolded(std::u16string_view(path).substr(0, record.size()), record);
}

// A file the spoken names of a later generation's player may add or remove: a spoken name as
// Zorbel writes them in Speakable\Tracks, and the file one is written into first. Any other file
// there, the player's or the owner's software's, is kept like every file.
bool IsZorbelsSpokenName(const std::u16string& path, const Bytes& bytes) {
    const std::u16string tracks = u"\\iPod_Control\\Speakable\\Tracks\\";
    if (path.size() <= 2 + tracks.size() || !EqualsFolded(path.substr(2, tracks.size()), tracks))
        return false;
    if (EqualsFolded(path.substr(2 + tracks.size()), u"speaking.new"))
        return true;
    return bytes.size() > kWaveMarkSize &&
           IsZorbelWave(bytes.data(), &bytes[bytes.size() - kWaveMarkSize], bytes.size());
}

// Written apart from the engine's own helpers, so a fault in them shows here.
bool PathEndsWithMp3(const std::u16string& path) {
    if (path.size() < 3)
        return false;
    std::u16string tail = path.substr(path.size() - 3);
    for (auto& unit : tail)
        if (unit >= u'A' && unit <= u'Z')
            unit = static_cast<char16_t>(unit + 32);
    return tail == u"mp3";
}

// The later layout's bytes for a path: UTF-8, a surrogate without its pair in three.
size_t Utf8Bytes(const std::u16string& text) {
    size_t bytes = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t unit = text[i];
        bool pair = unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() &&
                    text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
        bytes += unit < 0x80 ? 1 : unit < 0x800 ? 2 : pair ? 4 : 3;
        i += pair;
    }
    return bytes;
}

std::u16string RecordName(const std::u16string& fullPath) {
    std::u16string player = fullPath.size() > 2 ? fullPath.substr(2) : std::u16string();
    std::replace(player.begin(), player.end(), u'\\', u'/');
    return player;
}

void Walk(MemoryFileSystem& fs, const std::u16string& folder, bool later,
          std::vector<std::u16string>& out) {
    auto listing = fs.ListFolder(folder);
    if (!listing)
        return;
    FolderEntry entry;
    while (listing->Next(entry) == ListStep::Entry) {
        if (entry.name == u"." || entry.name == u"..")
            continue;
        std::u16string path = folder + u"\\" + entry.name;
        if (!fs.IsDirectory(path)) {
            std::u16string name = RecordName(path);
            if (PathEndsWithMp3(path) && !(later && Utf8Bytes(name) > 255))
                out.push_back(later ? name : name.substr(0, kDbNameUnits));
            continue;
        }
        if (!entry.isLink)
            Walk(fs, path, later, out);
    }
}

bool HasNewDatabase(RunOutcome outcome) {
    return outcome == RunOutcome::Done || outcome == RunOutcome::SongsLost ||
           outcome == RunOutcome::DatabaseNotDurable || outcome == RunOutcome::DatabaseNotReplaced;
}

std::string Listed(const std::vector<std::u16string>& names) {
    std::string out = "[";
    for (const auto& name : names)
        out += (out.size() > 1 ? ", " : "") + Printable(name);
    return out + "]";
}

}  // namespace

std::u16string OutcomeText(RunOutcome outcome, int systemError) {
    switch (outcome) {
        case RunOutcome::Done:
            return kMsgDone;
        case RunOutcome::SongsLost:
            return kMsgSongsLost;
        case RunOutcome::DatabaseNotWritten:
            return kMsgDatabaseFailed;
        case RunOutcome::OutOfMemory:
            return kMsgOutOfMemory;
        case RunOutcome::DatabaseNotDurable:
            return kMsgNotDurable;
        case RunOutcome::DatabaseNotReplaced:
            return kMsgNotReplaced;
        case RunOutcome::ReadFailed:
            return kMsgReadFailed;
        case RunOutcome::RenameFailed:
            return kMsgRenameFailed;
        case RunOutcome::NeedsRepair:
            return kMsgNeedsRepair;
        case RunOutcome::Stopped:
            return kMsgStopped;
        case RunOutcome::PlayerBusy:
            return kMsgPlayerBusy;
        case RunOutcome::LockUnavailable:
            return FormatNumber(kMsgLockFailed, systemError);
        case RunOutcome::Refused:
            break;
    }
    return u"";
}

const char* OutcomeName(RunOutcome outcome) {
    static const char* const names[] = {"Done",        "SongsLost",          "DatabaseNotWritten",
                                        "OutOfMemory", "DatabaseNotDurable", "DatabaseNotReplaced",
                                        "ReadFailed",  "RenameFailed",       "NeedsRepair",
                                        "Stopped",     "PlayerBusy",         "LockUnavailable",
                                        "Refused"};
    return names[static_cast<int>(outcome)];
}

std::string Printable(const std::u16string& text) {
    std::string out;
    for (char16_t unit : text) {
        if (unit >= 0x20 && unit < 0x7F) {
            out.push_back(static_cast<char>(unit));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(unit));
            out += buf;
        }
    }
    return out;
}

RunBaseline TakeBaseline(const MemoryFileSystem& fs, const std::u16string& rootDir,
                         const std::u16string& dbPath) {
    RunBaseline base;
    base.rootDir = rootDir;
    base.dbPath = dbPath;
    for (auto& bytes : fs.NamelessFiles())
        base.files.insert(std::move(bytes));
    base.folders = fs.NamelessFolders();
    for (const auto& [path, bytes] : fs.Snapshot()) {
        if (!bytes && EqualsFolded(path, TempPath(dbPath)))
            base.tempFolder = true;
        if (!bytes)
            ++base.folders;
        else if (EqualsFolded(path, dbPath))
            base.oldDb = *bytes;
        else if (EqualsFolded(path, TempPath(dbPath)))
            base.oldTemp = *bytes;
        else if (!IsDatabaseFile(path, dbPath) && !IsZorbelsSpokenName(path, *bytes))
            base.files.insert(*bytes);
    }
    for (const char16_t* folder :
         {u"\\iPod_Control\\Speakable", u"\\iPod_Control\\Speakable\\Tracks"})
        if (fs.HasFolder(dbPath.substr(0, 2) + folder))
            base.speakable.insert(folder);
    const auto& telling = base.oldDb && base.oldDb->size() >= 4 ? base.oldDb : base.oldTemp;
    base.later = telling && telling->size() >= 4 &&
                 std::equal(telling->begin(), telling->begin() + 4, "bdhs");
    base.owned = base.later && telling->size() >= 64;
    return base;
}

std::vector<std::u16string> TracksOnDisk(MemoryFileSystem& fs, const std::u16string& rootDir,
                                         bool later) {
    // Looking must neither fail nor count as the run's own operations.
    auto failWhen = std::exchange(fs.failWhen, nullptr);
    size_t operations = fs.operations;
    std::vector<std::u16string> tracks;
    Walk(fs, rootDir, later, tracks);
    fs.failWhen = std::move(failWhen);
    fs.operations = operations;
    return tracks;
}

std::string CheckRun(const RunBaseline& before, MemoryFileSystem& fs,
                     const RecordingStatusLabel& label) {
    return CheckRun(before, fs, label.outcome, label.text, label.systemError);
}

// Where the old database stands after a run that kept it: where it was, or a lone iTunesSD.new
// put in its place, or that .new still beside no database.
std::string OldDatabaseKept(const RunBaseline& before, const std::optional<Bytes>& db,
                            const std::optional<Bytes>& temp) {
    if (before.oldDb) {
        if (db != before.oldDb)
            return db ? "the old database changed" : "the old database is gone";
        // One there before the run may stay as it was; a run leaves none of its own.
        return temp && temp != before.oldTemp ? "the temporary database was left behind" : "";
    }
    if (!before.oldTemp)
        return "";  // none to keep: whatever the run left stands in for one
    if ((db == before.oldTemp && !temp) || (!db && temp == before.oldTemp))
        return "";
    // A torn .new is no database, but it must stay a file, or the player is no longer found.
    if (!db && temp && !ParseDatabase(*before.oldTemp))
        return "";
    return "the lone iTunesSD.new was lost";
}

std::string CheckRun(const RunBaseline& before, MemoryFileSystem& fs,
                     std::optional<RunOutcome> ended, const std::u16string& lastText,
                     int systemError) {
    if (!ended)
        return "the run ended without an outcome; last text " + Printable(lastText);
    const RunOutcome outcome = *ended;
    if (outcome == RunOutcome::Refused)
        return "an accepted player's run ended refused";
    // Done may say after 完成 why songs of a later generation have no spoken name.
    const std::u16string text = OutcomeText(outcome, systemError);
    const bool said = lastText == text || (outcome == RunOutcome::Done && before.later &&
                                           lastText.compare(0, 3, text + u"。") == 0);
    if (!said)
        return std::string("outcome ") + OutcomeName(outcome) + " but the status ends on " +
               Printable(lastText);

    // A file with no name is still on the medium: the drive's check saves it.
    std::vector<Bytes> nameless = fs.NamelessFiles();
    std::multiset<Bytes> files(nameless.begin(), nameless.end());
    size_t folders = fs.NamelessFolders();
    for (const auto& [path, bytes] : fs.Snapshot()) {
        if (!bytes)
            ++folders;
        else if (!IsDatabaseFile(path, before.dbPath) && !IsZorbelsSpokenName(path, *bytes))
            files.insert(*bytes);
    }
    // The spoken names' folders a run makes.
    for (const char16_t* made :
         {u"\\iPod_Control\\Speakable", u"\\iPod_Control\\Speakable\\Tracks"})
        folders -= fs.HasFolder(before.dbPath.substr(0, 2) + made) && !before.speakable.count(made);
    if (files != before.files)
        return "file contents lost or doubled: " + std::to_string(before.files.size()) +
               " files before, " + std::to_string(files.size()) + " after";
    if (folders != before.folders)
        return "folder count changed";

    auto readIf = [&fs](const std::u16string& path) {
        return fs.HasFile(path) ? std::optional<Bytes>(fs.Read(path)) : std::nullopt;
    };
    std::optional<Bytes> db = readIf(before.dbPath);
    std::optional<Bytes> temp = readIf(TempPath(before.dbPath));
    if (!HasNewDatabase(outcome))
        return OldDatabaseKept(before, db, temp);
    bool beside = outcome == RunOutcome::DatabaseNotReplaced;
    if (beside ? db.has_value() : temp.has_value())
        return beside ? "iTunesSD is there, the outcome says it was removed"
                      : "the temporary database was left behind";
    const std::optional<Bytes>& written = beside ? temp : db;
    std::string why;
    auto parsed = written ? ParseDatabase(*written, &why) : std::nullopt;
    if (!parsed)
        return written ? "database is neither the old one nor complete: " + why
                       : "database is gone";
    if (parsed->later != before.later)
        return "database written in the other generations' layout";
    if (!parsed->fresh && !before.owned)
        return "the new database holds settings no old database gave";
    auto onDisk = TracksOnDisk(fs, before.rootDir, before.later);
    if (parsed->names != onDisk)
        return "database lists " + Listed(parsed->names) + ", the tree holds " + Listed(onDisk);
    return "";
}
