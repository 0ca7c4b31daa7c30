#include "RunInvariants.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "Database.h"
#include "DatabaseFile.h"
#include "Messages.h"
#include "RenameRecord.h"
#include "Text.h"

namespace {

std::u16string TempPath(const std::u16string& dbPath) {
    return dbPath + u".new";
}

// The record of a run's renames may stay until a later run's database is in place.
bool IsDatabaseFile(const std::u16string& path, const std::u16string& dbPath) {
    return EqualsFolded(path, dbPath) || EqualsFolded(path, TempPath(dbPath)) ||
           EqualsFolded(path, RenameRecordPath(dbPath));
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

std::u16string RecordName(const std::u16string& fullPath) {
    std::u16string player = fullPath.size() > 2 ? fullPath.substr(2) : std::u16string();
    std::replace(player.begin(), player.end(), u'\\', u'/');
    return player.substr(0, kDbNameUnits);
}

void Walk(MemoryFileSystem& fs, const std::u16string& folder, std::vector<std::u16string>& out) {
    auto listing = fs.ListFolder(folder);
    if (!listing)
        return;
    FolderEntry entry;
    while (listing->Next(entry) == ListStep::Entry) {
        if (entry.name == u"." || entry.name == u"..")
            continue;
        std::u16string path = folder + u"\\" + entry.name;
        if (!fs.IsDirectory(path)) {
            if (PathEndsWithMp3(path))
                out.push_back(RecordName(path));
            continue;
        }
        if (!entry.isLink)
            Walk(fs, path, out);
    }
}

bool HasNewDatabase(RunOutcome outcome) {
    return outcome == RunOutcome::Done || outcome == RunOutcome::DatabaseNotDurable;
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
        case RunOutcome::DatabaseNotWritten:
            return kMsgDatabaseFailed;
        case RunOutcome::DatabaseNotDurable:
            return kMsgNotDurable;
        case RunOutcome::ReadFailed:
            return kMsgReadFailed;
        case RunOutcome::RenameFailed:
            return kMsgRenameFailed;
        case RunOutcome::NeedsRepair:
            return kMsgNeedsRepair;
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
    static const char* const names[] = {"Done",       "DatabaseNotWritten", "DatabaseNotDurable",
                                        "ReadFailed", "RenameFailed",       "NeedsRepair",
                                        "PlayerBusy", "LockUnavailable",    "Refused"};
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
    for (const auto& [path, bytes] : fs.Snapshot()) {
        if (!bytes)
            ++base.folders;
        else if (EqualsFolded(path, dbPath))
            base.oldDb = *bytes;
        else if (!IsDatabaseFile(path, dbPath))
            base.files.insert(*bytes);
    }
    return base;
}

std::vector<std::u16string> TracksOnDisk(MemoryFileSystem& fs, const std::u16string& rootDir) {
    // Looking must neither fail nor count as the run's own operations.
    auto failWhen = std::exchange(fs.failWhen, nullptr);
    size_t operations = fs.operations;
    std::vector<std::u16string> tracks;
    Walk(fs, rootDir, tracks);
    fs.failWhen = std::move(failWhen);
    fs.operations = operations;
    return tracks;
}

std::string CheckRun(const RunBaseline& before, MemoryFileSystem& fs,
                     const RecordingStatusLabel& label) {
    return CheckRun(before, fs, label.outcome, label.text, label.systemError);
}

std::string CheckRun(const RunBaseline& before, MemoryFileSystem& fs,
                     std::optional<RunOutcome> ended, const std::u16string& lastText,
                     int systemError) {
    if (before.oldDb && ParseDatabase(*before.oldDb))
        return "the old database must not be well-formed, or it could pass as the new one";
    if (!ended)
        return "the run ended without an outcome; last text " + Printable(lastText);
    const RunOutcome outcome = *ended;
    if (outcome == RunOutcome::Refused)
        return "an accepted player's run ended refused";
    if (lastText != OutcomeText(outcome, systemError))
        return std::string("outcome ") + OutcomeName(outcome) + " but the status ends on " +
               Printable(lastText);

    std::multiset<Bytes> files;
    size_t folders = 0;
    for (const auto& [path, bytes] : fs.Snapshot()) {
        if (!bytes)
            ++folders;
        else if (!IsDatabaseFile(path, before.dbPath))
            files.insert(*bytes);
    }
    if (files != before.files)
        return "file contents lost or doubled: " + std::to_string(before.files.size()) +
               " files before, " + std::to_string(files.size()) + " after";
    if (folders != before.folders)
        return "folder count changed";
    if (fs.HasFile(TempPath(before.dbPath)))
        return "the temporary database was left behind";

    std::optional<Bytes> db;
    if (fs.HasFile(before.dbPath))
        db = fs.Read(before.dbPath);
    bool oldKept = db == before.oldDb;
    if (oldKept)
        return HasNewDatabase(outcome)
                   ? std::string("old database kept but the outcome is ") + OutcomeName(outcome)
                   : "";
    if (!HasNewDatabase(outcome))
        return std::string("new database in place but the outcome is ") + OutcomeName(outcome);

    std::string why;
    auto parsed = db ? ParseDatabase(*db, &why) : std::nullopt;
    if (!parsed)
        return db ? "database is neither the old one nor complete: " + why : "database is gone";
    auto onDisk = TracksOnDisk(fs, before.rootDir);
    if (parsed->names != onDisk)
        return "database lists " + Listed(parsed->names) + ", the tree holds " + Listed(onDisk);
    return "";
}
