// The zorbel command as a user runs it: one row per situation, each checked in its exit code, its
// output and on disk; and the pieces of its progress line.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "DatabaseFile.h"
#include "Display.h"
#include "HostNames.h"
#include "HostTree.h"
#include "MemoryFileSystem.h"
#include "PlayerSearch.h"
#include "PosixFileSystem.h"
#include "Progress.h"
#include "record/RenameRecord.h"
#include "run/SyncJob.h"
#include "speech/SpokenNames.h"
#include "speech/SpokenWave.h"
#include "Version.h"

namespace {

const std::string kMusic[] = {"Music/a.mp3", "Music/\xE6\x99\xB4.mp3", "Music/cover.jpg",
                              "\xE4\xB8\xAD/b.mp3", "c.mp3"};

// {top}: the player's top folder; {cmd}: the command; {faults}: what makes the command's system
// calls fail as ZORBEL_FAIL asks (tests/posix/FaultShim.c); {db}: the player's database.
std::string Fill(std::string text, const std::string& top) {
    const std::pair<const char*, std::string> fills[] = {
        {"{db}", "{top}/iPod_Control/iTunes/iTunesSD"},
        {"{top}", top},
        {"{cmd}", ZORBEL_COMMAND},
        {"{faults}",
         std::string("env LD_PRELOAD=") + ZORBEL_FAULTS + " ASAN_OPTIONS=verify_asan_link_order=0"},
    };
    for (const auto& [key, value] : fills)
        for (size_t at; (at = text.find(key)) != std::string::npos;)
            text.replace(at, std::string(key).size(), value);
    return text;
}

struct CommandCase {
    const char* name;
    std::vector<std::string> args;  // after the command; {top}: the player's top folder
    bool player;                    // whether the folder holds iPod_Control/iTunes/iTunesSD
    int code;
    std::string out, err;  // a line each must hold; empty: nothing may be printed there
    // The folder whose tracks the new database lists; "-": nothing changed; "old": the old
    // database kept; "*": not looked at.
    std::string below;
    std::string setup = "";  // a shell command run first, to bring the player into its state;
                             // exit status 77: this system cannot, and the row is passed over
    std::vector<std::string> more = {};  // files beyond kMusic
    bool unprivileged = false;           // the player handed to a user without rights, who runs
    std::string cleanup = "";            // a shell command run last
    bool later = false;                  // the new database in the later generations' layout
    std::vector<RecordEntry> cut = {};   // the renames a run cut off on this player had recorded
    Bytes database = {};                 // the player's database, when the row gives its own
    std::string absent = "";             // text stdout must not hold
    bool earlierRecord = false;          // recorded as the version before did: no identities
    // A later generation's spoken names: how many files the run leaves in Speakable/Tracks (-1:
    // not looked at), each whole and Zorbel's, one for each song of the database when any is.
    int spoken = -1;
    // Songs given an ID3 tag first (path, title, artist, voice): each one's spoken name must be,
    // sample for sample, what espeak-ng says for "title, artist" in that voice.
    std::vector<std::array<std::string, 4>> tags = {};
};

// An ID3v2.3 tag of a title and an artist, in UTF-16 with a byte order mark.
Bytes Id3Tag(const std::string& title, const std::string& artist) {
    Bytes frames;
    for (const auto& [id, text] : {std::pair{"TIT2", title}, std::pair{"TPE1", artist}}) {
        Bytes data = {1, 0xFF, 0xFE};
        for (char16_t unit : NameFromHost(text))
            data.insert(data.end(), {uint8_t(unit), uint8_t(unit >> 8)});
        frames.insert(frames.end(), id, id + 4);
        for (int shift : {24, 16, 8, 0})
            frames.push_back(uint8_t(data.size() >> shift));
        frames.insert(frames.end(), {0, 0});
        frames.insert(frames.end(), data.begin(), data.end());
    }
    Bytes tag = {'I', 'D', '3', 3, 0, 0};
    for (int shift : {21, 14, 7, 0})
        tag.push_back(uint8_t(frames.size() >> shift & 0x7F));
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

// What espeak-ng says for the text in the voice.
SpokenSound EspeakSays(const std::string& text, const std::string& voice) {
    std::string wave;
    SpokenSound sound;
    RunProgram({"espeak-ng", "-v", voice, "-b", "1", "--stdout", text}, &wave);
    ReadSpokenWave(reinterpret_cast<const uint8_t*>(wave.data()), wave.size(), sound);
    return sound;
}

// The spoken names a run left: every file whole and Zorbel's, 16-bit mono at 22.05 kHz, as long as
// a name takes to say; one per song; a tagged song's the voice's own words for its tags.
void CheckSpokenNames(const std::string& top, const CommandCase& c) {
    const std::string folder = top + "/iPod_Control/Speakable/Tracks";
    auto files = HostFiles(folder);
    EXPECT_EQ(files.size(), size_t(c.spoken));
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        ASSERT_GT(bytes.size(), kWaveMarkSize);
        EXPECT_TRUE(IsZorbelWave(bytes.data(), &bytes[bytes.size() - kWaveMarkSize], bytes.size()));
        SpokenSound sound;
        ASSERT_TRUE(ReadSpokenWave(bytes.data(), bytes.size(), sound));
        EXPECT_EQ(sound.rate, 22050u);
        const double seconds = double(sound.samples.size()) / sound.rate;
        EXPECT_GT(seconds, 0.2);
        EXPECT_LT(seconds, 5.0);
    }
    if (files.empty())
        return;
    auto db = ParseDatabase(ReadHostFile(top + "/iPod_Control/iTunes/iTunesSD"));
    ASSERT_TRUE(db);
    auto waveOf = [&](const Bytes& record) {
        uint64_t id = 0;
        for (int i = 7; i >= 0; --i)
            id = id << 8 | record[328 + i];
        std::string name;
        NameToHost(SpokenFileName(id), name);
        return ReadHostFile(folder + "/" + name);
    };
    for (const auto& record : db->records)
        EXPECT_FALSE(waveOf(record).empty());
    for (const auto& [path, title, artist, voice] : c.tags) {
        SCOPED_TRACE(path);
        auto at = std::find(db->names.begin(), db->names.end(), NameFromHost("/" + path));
        ASSERT_NE(at, db->names.end());
        Bytes wave = waveOf(db->records[size_t(at - db->names.begin())]);
        SpokenSound sound, said = EspeakSays(title + ", " + artist, voice);
        ASSERT_TRUE(ReadSpokenWave(wave.data(), wave.size(), sound));
        ASSERT_FALSE(said.samples.empty());
        EXPECT_EQ(sound.samples, said.samples);
    }
}

// A record as the version before wrote it: the tag, then each item's player path and new name,
// every text ended by a 0 unit, in UTF-16LE.
std::vector<uint8_t> EarlierRecord(const std::vector<RecordEntry>& entries) {
    std::u16string texts(u"ZRR2");
    texts.push_back(0);
    for (const auto& entry : entries) {
        std::u16string from = entry.from.substr(2);
        std::replace(from.begin(), from.end(), u'\\', u'/');
        texts += from + u'\0' + entry.to.substr(entry.to.rfind(u'\\') + 1) + u'\0';
    }
    std::vector<uint8_t> bytes;
    for (char16_t unit : texts)
        bytes.insert(bytes.end(), {static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8)});
    return bytes;
}

const RecordEntry kSongCut = {u"P:\\Music\\\u6674.mp3", u"P:\\Music\\ST_FILE_1.mp3", {}};
const RecordEntry kFolderCut = {u"P:\\\u4E2D", u"P:\\ST_DIR_1", {}};
// One song under two names: on this disk a hard link, one inode, as two entries of one chain are
// on FAT. A copy is a song of its own.
const std::string kSongTwice = "ln '{top}/Music/\xE6\x99\xB4.mp3' '{top}/Music/ST_FILE_1.mp3'";
const std::string kSongCopied = "cp '{top}/Music/\xE6\x99\xB4.mp3' '{top}/Music/ST_FILE_1.mp3'";
// The cut song asked about before, under both names with the same bytes.
const RecordEntry kSongCutAsked = {kSongCut.from, kSongCut.to, {}, true};
const std::string kRecord = "/iPod_Control/iTunes/iTunesSD.renames";
// The song's name removed, as Windows' FAT driver leaves it when a cut falls inside its rename,
// and its bytes saved by the drive's check as chkdsk saves them: whole clusters. The name it was
// to have taken since by another song: it gets the next.
const std::string kSongNameless = "rm '{top}/Music/\xE6\x99\xB4.mp3'";
const std::string kSongSaved =
    "mkdir '{top}/FOUND.000' && { cat '{top}/Music/\xE6\x99\xB4.mp3'; head -c 4093 /dev/zero; } > "
    "'{top}/FOUND.000/FILE0000.CHK' && echo other > '{top}/Music/ST_FILE_1.mp3' && " +
    kSongNameless;
const std::string kPutBackLine =
    "put back: {top}/FOUND.000/FILE0000.CHK -> {top}/Music/ST_FILE_2.mp3\n";
const std::string kRepairLine =
    "{top}/Music/\xE6\x99\xB4.mp3 and {top}/Music/ST_FILE_1.mp3 share one song's data";

// Folders nested deeper than the player's paths reach: the engine's path of a folder under
// kDeep ("P:\" and five names of 50) leaves no room for a name and "\*" within 260 units.
const std::string kD50(50, 'd');
const std::string kDeep = kD50 + "/" + kD50 + "/" + kD50 + "/" + kD50 + "/" + kD50;
const std::string kSevenDeep = "for n in 1 2 3 4 5 6 7; do mkdir -p '{top}/" + kDeep +
                               "/'$n && echo > '{top}/" + kDeep + "/'$n/x.mp3; done";
// A player whose only names to change are seven new songs': ST_FILE_7.mp3 is the last new name.
const std::string kSevenWide =
    "rm -r '{top}/\xE4\xB8\xAD' '{top}/Music/\xE6\x99\xB4.mp3' && for n in 1 2 3 4 5 6 7; do "
    "echo > '{top}/\xE9\x9B\xA8'$n.mp3; done";
// A player mounted at a path with a colour escape and a line feed in it.
const std::string kOddMount = "{top}/m\x1b[31m\nP";
const std::string kOddMountShown = "{top}/m\\033[31m\\012P";
// A later generation's database whose owner set a volume limit, a start time on 晴.mp3, on 中/b.mp3
// "skip when shuffling" and "remember position", and two playlists: 晴 and a, and the podcasts of
// b. a.mp3 and c.mp3 have a new song's settings.
Bytes OwnersDatabase() {
    LaterContents contents;
    contents.header[28] = 0x10;
    for (const char* path :
         {"/Music/a.mp3", "/Music/\xE6\x99\xB4.mp3", "/\xE4\xB8\xAD/b.mp3", "/c.mp3"}) {
        Bytes record(372);
        record[20] = 1;
        record[284] = 1;
        contents.tracks.emplace_back(path, record);
    }
    contents.tracks[1].second[9] = 0x10;
    contents.tracks[2].second[284] = 0;
    contents.tracks[2].second[285] = 1;
    contents.playlists = {{Bytes{0xA1, 0, 0, 0, 0, 0, 0, 0, 2}, {1, 0}},
                          {Bytes{0xB1, 0, 0, 0, 0, 0, 0, 0, 3}, {2}}};
    for (auto& list : contents.playlists)
        list.first.resize(28);
    return LayOutLater(contents);
}

// A name that would drive the terminal if printed raw: window title, clear screen, colour, and a
// line feed that would split its line.
const std::string kControlName = "Music/\x1b]0;PWNED\x07\x1b[2J\x1b[31mred\nx.mp3";

TEST(Command, EachSituation) {
    const CommandCase cases[] = {
        {"help", {"--help"}, true, 0, "Usage: zorbel [FOLDER]", "", "-", ""},
        {"version", {"--version"}, true, 0, "zorbel " ZORBEL_VERSION "\n", "", "-", ""},
        {"bad option", {"--all"}, true, 2, "", "unknown option '--all'", "-", ""},
        {"two folders", {"{top}", "{top}"}, true, 2, "", "one folder at most", "-", ""},
        {"no folder", {"{top}/none"}, true, 2, "", "{top}/none: no such folder", "-", ""},
        {"a file", {"{top}/c.mp3"}, true, 2, "", "c.mp3: not a folder", "-", ""},
        {"not a player", {"{top}/Music"}, false, 2, "", "no iPod Shuffle here", "-", ""},
        {"wide folder", {"{top}/\xE4\xB8\xAD"}, true, 2, "", "non-Latin characters", "-", ""},
        {"top folder",
         {"{top}"},
         true,
         0,
         "4 tracks written, 1 file and 1 folder renamed",
         "",
         "",
         ""},
        {"folder below",
         {"--", "{top}/Music"},
         true,
         0,
         "done: 2 tracks written, 1 file and 0 folders renamed",
         "",
         "Music",
         ""},
        {"current folder",
         {"sh", "-c", "cd '{top}/Music' && exec '{cmd}'"},
         true,
         0,
         "renamed: {top}/Music/\xE6\x99\xB4.mp3 -> {top}/Music/ST_FILE_1.mp3\n"
         "track: {top}/Music/ST_FILE_1.mp3\n",
         "",
         "Music"},
        {"control characters",
         {"{top}/Music"},
         true,
         0,
         "track: {top}/Music/\\033]0;PWNED\\007\\033[2J\\033[31mred\\012x.mp3\n",
         "",
         "Music",
         "",
         {kControlName}},
        {"control characters refused",
         {"{top}/Music/\x1b[2J"},
         true,
         2,
         "",
         "{top}/Music/\\033[2J: no such folder",
         "-"},
        {"check a fresh player",
         {"--check", "{top}"},
         true,
         1,
         "names the player cannot show: a run would rename 2 (new name after the arrow)\n"
         "  {top}/Music/\xE6\x99\xB4.mp3 -> ST_FILE_1.mp3\n"
         "  {top}/\xE4\xB8\xAD -> ST_DIR_1\n"
         "the player will play 0 tracks; a run would add 4, drop 0 and rename 2\n",
         "",
         "-",
         ""},
        {"check after a run",
         {"--check", "{top}"},
         true,
         0,
         "database layout: 1st/2nd generation iPod Shuffle; a run writes this layout\n"
         "database: 4 tracks, 2250 bytes, complete and as Zorbel writes it\n"
         "up to date: the player will play 4 tracks\n",
         "",
         "-",
         "'{cmd}' '{top}'"},
        {"check a missing file",
         {"--check", "{top}/Music"},
         true,
         1,
         "not on the player: 1 of the database's 2 tracks\n  {top}/Music/a.mp3\n"
         "the player will play 1 track; a run would add 0, drop 1 and rename 0\n",
         "",
         "-",
         "'{cmd}' '{top}/Music' && rm '{top}/Music/a.mp3'"},
        {"check a torn database",
         {"--check", "{top}"},
         true,
         1,
         "database: torn: 1000 bytes where its header's 4 tracks take 2250",
         "",
         "-",
         "'{cmd}' '{top}' && truncate -s 1000 '{top}/iPod_Control/iTunes/iTunesSD'"},
        {"check a left-over temporary database",
         {"--check", "{top}"},
         true,
         1,
         "left-over iTunesSD.new: a run was cut off",
         "",
         "-",
         "'{cmd}' '{top}' && echo > '{top}/iPod_Control/iTunes/iTunesSD.new'"},
        {"check a Chinese name",
         {"--check", "{top}"},
         true,
         1,
         "not in the database: 1 MP3 file under {top}\n  {top}/\xE9\x9B\xA8.mp3\n"
         "names the player cannot show: a run would rename 1 (new name after the arrow)\n"
         "  {top}/\xE9\x9B\xA8.mp3 -> ST_FILE_1.mp3\n"
         "the player will play 4 tracks; a run would add 1, drop 0 and rename 1\n",
         "",
         "-",
         "'{cmd}' '{top}' && echo > '{top}/\xE9\x9B\xA8.mp3'"},
        {"check only a left-over temporary database",
         {"--check", "{top}"},
         true,
         1,
         "database: missing, but a left-over iTunesSD.new holds a complete one of 4 tracks: a run "
         "will put it in place first\n"
         "the player will play 0 tracks; a run would add 0, drop 0 and rename 0\n",
         "",
         "-",
         "'{cmd}' '{top}' && mv '{top}/iPod_Control/iTunes/iTunesSD' "
         "'{top}/iPod_Control/iTunes/iTunesSD.new'"},
        {"run on only a left-over temporary database",
         {"{top}"},
         true,
         0,
         "4 tracks written",
         "",
         "",
         "'{cmd}' '{top}' && mv '{top}/iPod_Control/iTunes/iTunesSD' "
         "'{top}/iPod_Control/iTunes/iTunesSD.new'"},
        // The medium failing one system call, each named with its reason.
        {"a rename not confirmed",
         {"sh", "-c", "{faults} ZORBEL_FAIL=fsync:ST_FILE_1.mp3 '{cmd}' '{top}'"},
         true,
         1,
         "renamed: {top}/Music/\xE6\x99\xB4.mp3 -> {top}/Music/ST_FILE_1.mp3 (not confirmed: "
         "Input/output error)\n",
         "the player failed a rename or its confirmation (Input/output error), the old track "
         "database is kept; 1 file and ",
         "old"},
        {"a full player",
         {"sh", "-c", "{faults} ZORBEL_FAIL=write:iTunesSD.new=ENOSPC '{cmd}' '{top}'"},
         true,
         1,
         "renamed: ",
         "zorbel: writing the track database failed (No space left on device), the old one is "
         "kept; 1 file and 1 folder already have their new names, for good; check",
         "old"},
        // A run that could write no database stops before its first rename, as --check says.
        {"every read of the database failing",
         {"sh", "-c", "{faults} ZORBEL_FAIL=read:iTunes/iTunesSD '{cmd}' '{top}'"},
         true,
         1,
         "player: {top}\n",
         "writing the track database failed (Input/output error), the old one is kept; check",
         "-"},
        {"a folder in the temporary database's place",
         {"{top}"},
         true,
         1,
         "player: {top}\n",
         "writing the track database failed (Is a directory), the old one is kept; check",
         "-",
         "'{cmd}' '{top}' && mkdir '{db}.new' && echo > '{top}/\xE9\x9B\xA8.mp3'"},
        // Never opened as a record, never waited on: set aside like a damaged one.
        {"a pipe at the record's name",
         {"sh", "-c", "timeout -s KILL 20 '{cmd}' '{top}'"},
         true,
         0,
         "it was set aside as {top}/iPod_Control/iTunes/iTunesSD.renames.damaged\n",
         "",
         "",
         "mkfifo '{top}/iPod_Control/iTunes/iTunesSD.renames'"},
        {"the last sync fails",
         {"sh", "-c", "{faults} ZORBEL_FAIL=syncfs '{cmd}' '{top}'"},
         true,
         3,
         "track: {top}/c.mp3\n",
         "did not confirm it is stored (Input/output error)",
         ""},
        {"a rename refused by the medium",
         {"sh", "-c", "{faults} ZORBEL_FAIL=rename:ST_FILE_1.mp3 '{cmd}' '{top}'"},
         true,
         4,
         "not renamed: {top}/Music/\xE6\x99\xB4.mp3 (Input/output error)\n",
         "",
         ""},
        {"a pipe named like a song",
         {"sh", "-c", "timeout 60 '{cmd}' '{top}'"},
         true,
         0,
         "done: 4 tracks written",
         "",
         "",
         "mkfifo '{top}/Music/pipe.mp3' '{top}/\xE9\x9B\xA8.mp3'"},
        // Nothing left out in silence.
        {"run from a folder",
         {"sh", "-c", "cd '{top}/Music' && exec '{cmd}'"},
         true,
         4,
         "done: 2 tracks written, 0 files and 0 folders renamed",
         "",
         "Music",
         "'{cmd}' '{top}'"},
        {"run from inside iPod_Control",
         {"{top}/iPod_Control/iTunes"},
         true,
         4,
         "left out: 4 songs of the old database outside {top}/iPod_Control/iTunes; to keep them, "
         "run zorbel on the player's top folder: zorbel {top}\n",
         "",
         "iPod_Control/iTunes",
         "'{cmd}' '{top}'"},
        {"a folder closed to the user",
         {"{top}"},
         true,
         4,
         "done: 3 tracks written, 1 file and 0 folders renamed, in ",
         "",
         "*",
         "chmod 000 '{top}/\xE4\xB8\xAD'",
         {},
         true},
        {"folders that cannot be renamed in",
         {"{top}"},
         true,
         4,
         "left out: 1 name that could not be changed (the player cannot show such names and will "
         "not play their songs)\n  {top}/Music/\xE6\x99\xB4.mp3 (Operation not permitted)\n",
         "",
         "",
         "chattr +i '{top}/Music' || exit 77",
         {},
         false,
         "chattr -i '{top}/Music'"},
        // A signal before the first change ends the run at once; after it, the run finishes.
        {"Ctrl-C before the first change",
         {"sh", "-c", "{faults} ZORBEL_SIGNAL=fdopendir:/Music '{cmd}' '{top}'; exit $?"},
         true,
         130,
         "player: {top}\n",
         "zorbel: stopped before the run's first change; nothing on the player was changed\n",
         "-"},
        {"two hang-ups after the first change",
         {"sh", "-c",
          "{faults} ZORBEL_SIGNAL=rename:ST_FILE_1.mp3=HUP,rename:ST_DIR_1=HUP '{cmd}' '{top}'; "
          "exit $?"},
         true,
         129,
         "done: 4 tracks written",
         "zorbel: stopping once the run has finished (renaming 1 of 2), so the player is left "
         "whole\nzorbel: stopping once the run has finished (renaming 2 of 2), so the player is "
         "left whole\n",
         ""},
        // A line names a folder whole, wherever the command was run from, and what to do.
        {"a player without a database",
         {"{top}/Music"},
         true,
         2,
         "",
         "zorbel: {top}: the player has no track database yet (no iTunesSD in iPod_Control/"
         "iTunes); for a 1st or 2nd generation iPod Shuffle (2005-2008) make it an empty file, "
         "touch {top}/iPod_Control/iTunes/iTunesSD, then run zorbel again",
         "-",
         "rm '{db}'"},
        {"wide folder from inside it",
         {"sh", "-c", "cd '{top}/\xE4\xB8\xAD' && exec '{cmd}'"},
         true,
         2,
         "",
         "zorbel: {top}/\xE4\xB8\xAD: the player cannot use a folder",
         "-"},
        // Every path printed is escaped, the player's own mount path too.
        {"a player mounted at a path with control characters",
         {kOddMount},
         true,
         0,
         "player: " + kOddMountShown + "\nrenamed: " + kOddMountShown + "/\xE9\x9B\xA8.mp3 -> " +
             kOddMountShown + "/ST_FILE_1.mp3\ntrack: " + kOddMountShown + "/ST_FILE_1.mp3\n",
         "",
         "*",
         "mkdir -p '" + kOddMount + "/iPod_Control/iTunes' && : > '" + kOddMount +
             "/iPod_Control/iTunes/iTunesSD' && echo > '" + kOddMount + "/\xE9\x9B\xA8.mp3'"},
        {"folders nested too deep",
         {"{top}"},
         true,
         4,
         "left out: 7 folders that could not be read, with the songs in them\n  {top}/" + kDeep +
             "/",
         "",
         "*",
         kSevenDeep,
         {},
         false,
         "",
         false,
         {},
         {},
         "more"},
        // --check tells what a run would do, and escapes what it prints.
        {"check a folder with control characters",
         {"--check", "{top}/esc\x1b]0;T\007dir"},
         true,
         1,
         "not in the database: 1 MP3 file under {top}/esc\\033]0;T\\007dir\n"
         "  {top}/esc\\033]0;T\\007dir/y.mp3\n",
         "",
         "-",
         "'{cmd}' '{top}' && echo > '{top}/esc\x1b]0;T\007dir/y.mp3'",
         {"esc\x1b]0;T\007dir/x.mp3"}},
        {"check a folder in the temporary database's place",
         {"--check", "{top}"},
         true,
         1,
         "iPod_Control/iTunes/iTunesSD.new is a folder, not a file (Is a directory): every run "
         "will fail to write the database, and stop before changing anything, until it is moved "
         "away\nthe player will play 4 tracks; a run would keep the old database\n",
         "",
         "-",
         "'{cmd}' '{top}' && mkdir '{db}.new'"},
        {"check a database that is a folder",
         {"--check", "{top}"},
         true,
         2,
         "",
         "iPod_Control/iTunes/iTunesSD is not a file",
         "-",
         "rm '{db}' && mkdir '{db}'"},
        {"check an unreadable database",
         {"--check", "{top}"},
         true,
         6,
         "player: {top}\n",
         "could not be read (Permission denied)",
         "-",
         "chmod 000 '{db}'",
         {},
         true},
        {"check a folder closed to the user",
         {"--check", "{top}"},
         true,
         1,
         "complete and as Zorbel writes it\na run would leave out: 1 folder that could not be "
         "read, with the songs in them\n  {top}/Music (Permission denied)\n",
         "",
         "-",
         "'{cmd}' '{top}' && chmod 000 '{top}/Music'",
         {},
         true},
        {"check a folder closed to the user before the first run",
         {"--check", "{top}"},
         true,
         1,
         "a run would leave out: 1 folder that could not be read, with the songs in them\n"
         "  {top}/Music (Permission denied)\n",
         "",
         "-",
         "chmod 000 '{top}/Music'",
         {},
         true},
        {"check a folder nested too deep",
         {"--check", "{top}"},
         true,
         1,
         "(File name too long)\nthe player will play 4 tracks; a run would add 0, drop 0 and "
         "rename 0, and leave out 7 folders\n",
         "",
         "-",
         "'{cmd}' '{top}' && " + kSevenDeep},
        {"check an empty database",
         {"--check", "{top}"},
         true,
         1,
         "database: empty, a player with no tracks yet; a run will write it\n",
         "",
         "-",
         ": > '{db}'"},
        {"check from inside a folder that is no player",
         {"sh", "-c", "cd '{top}/Music' && exec '{cmd}' --check"},
         false,
         2,
         "",
         "zorbel: {top}/Music: no iPod Shuffle here",
         "-"},
        {"check lists whole into a file",
         {"--check", "{top}"},
         true,
         1,
         "-> ST_FILE_7.mp3\nthe player will play 0 tracks; a run would add 9, drop 0 and rename "
         "7\n",
         "",
         "-",
         kSevenWide,
         {},
         false,
         "",
         false,
         {},
         {},
         "more"},
        {"check lists the first ones on a terminal",
         {"sh", "-c", "script -qec \"'{cmd}' --check '{top}'\" /dev/null < /dev/null"},
         true,
         1,
         "-> ST_FILE_5.mp3\r\n  ... and 2 more\r\nthe player will play 0 tracks; a run would add "
         "9, "
         "drop 0 and rename 7\r\nthe lists above show their first 5 paths; to see every path: "
         "zorbel --check {top} > list.txt\r\n",
         "",
         "-",
         "command -v script || exit 77; " + kSevenWide},
        {"later generation",
         {"{top}"},
         true,
         0,
         "done: 4 tracks written, 1 file and 1 folder renamed",
         "",
         "",
         "printf bdhs | tee '{top}/iPod_Control/iTunes/iTunesSD'",
         {},
         false,
         "",
         true},
        // A run keeps what the owner set, the settings and playlists of songs it renames too, and
        // is then up to date with it.
        {"check what a later generation keeps after a run",
         {"--check", "{top}"},
         true,
         0,
         "database: 4 tracks, 1780 bytes, complete and as Zorbel writes it\n"
         "kept from the old database: volume limit, 2 playlists, settings of 2 songs\n"
         "spoken names: VoiceOver is off on this player; a run makes none\n"
         "up to date: the player will play 4 tracks\n",
         "",
         "-",
         "'{cmd}' '{top}'",
         {},
         false,
         "",
         false,
         {},
         OwnersDatabase()},
        // The run turned VoiceOver on and spoke every name: it keeps both.
        {"check a later generation after a run",
         {"--check", "{top}"},
         true,
         0,
         "database layout: 3rd/4th generation iPod Shuffle (bdhs); a run writes this layout\n"
         "database: 4 tracks, 1672 bytes, complete and as Zorbel writes it\n"
         "kept from the old database: VoiceOver\n"
         "spoken names: all 4 songs have one\n"
         "up to date: the player will play 4 tracks\n",
         "",
         "-",
         "printf bdhs | tee '{top}/iPod_Control/iTunes/iTunesSD' && '{cmd}' '{top}'",
         {},
         false,
         "",
         false,
         {},
         {},
         "",
         false,
         4},
        // The players' spoken names with the real espeak-ng: a name from its tags in Mandarin
        // (c.mp3) and in English (a.mp3), one from the name 晴.mp3 had before its rename, b.mp3's
        // in English although its folder's name is Chinese.
        {"later generation speaks each name",
         {"{top}"},
         true,
         0,
         "done: 4 tracks written, 1 file and 1 folder renamed",
         "",
         "",
         "printf bdhs | tee '{top}/iPod_Control/iTunes/iTunesSD'",
         {},
         false,
         "",
         true,
         {},
         {},
         "",
         false,
         4,
         {{"Music/a.mp3", "Yesterday", "The Beatles", "en-us"},
          {"c.mp3", "\xE6\x99\xB4\xE5\xA4\xA9", "\xE5\x91\xA8\xE6\x9D\xB0\xE4\xBC\xA6",
           "cmn-latn-pinyin"}}},
        {"later generation says what it spoke",
         {"{top}"},
         true,
         0,
         "spoken names: 4 names made (",
         "",
         "",
         "printf bdhs | tee '{top}/iPod_Control/iTunes/iTunesSD'",
         {},
         false,
         "",
         true},
        {"later generation without espeak-ng",
         {"sh", "-c", "PATH=/nonexistent exec '{cmd}' '{top}'"},
         true,
         0,
         "spoken names: 0 names made (0 KB), 0 there already; VoiceOver turned on (the player "
         "listed no songs)\nnote: 4 songs have no spoken name: espeak-ng is not installed; install "
         "it (Debian and Ubuntu: sudo apt install espeak-ng) and run zorbel again\n",
         "",
         "",
         "printf bdhs | tee '{top}/iPod_Control/iTunes/iTunesSD'",
         {},
         false,
         "",
         true,
         {},
         {},
         "",
         false,
         0},
        {"later generation with VoiceOver off",
         {"{top}"},
         true,
         0,
         "spoken names: none made, VoiceOver is off on this player (its owner's setting, kept)\n",
         "",
         "",
         "",
         {},
         false,
         "",
         true,
         {},
         OwnersDatabase(),
         "",
         false,
         0},
        {"check a later generation before a run",
         {"--check", "{top}"},
         true,
         1,
         "spoken names: 0 of 4 songs have one; a run would speak 4 names (about 361 KB, ",
         "",
         "-",
         "printf bdhs | tee '{top}/iPod_Control/iTunes/iTunesSD'"},
        {"check a later generation without espeak-ng",
         {"sh", "-c", "PATH=/nonexistent exec '{cmd}' --check '{top}'"},
         true,
         1,
         "espeak-ng is not installed: install it (Debian and Ubuntu: sudo apt install espeak-ng) "
         "for a run to speak them\n",
         "",
         "-",
         "printf bdhs | tee '{top}/iPod_Control/iTunes/iTunesSD'"},
        // A cut during a rename left the song (or folder) under both names: nothing is changed.
        {"run on a song under two names",
         {"{top}"},
         true,
         5,
         "player: {top}",
         kRepairLine,
         "-",
         kSongTwice,
         {},
         false,
         "",
         false,
         {kSongCut}},
        {"check a song under two names",
         {"--check", "{top}"},
         true,
         5,
         "player: {top}",
         kRepairLine,
         "-",
         kSongTwice,
         {},
         false,
         "",
         false,
         {kSongCut}},
        // A cut inside the replace left the database under its temporary name too: no run
        // writes a database equal to the one in place, so the same bytes are one file.
        {"run on the database under two names",
         {"{top}"},
         true,
         5,
         "player: {top}",
         "{top}/iPod_Control/iTunes/iTunesSD and {top}/iPod_Control/iTunes/iTunesSD.new are one "
         "file under two names",
         "-",
         "cd '{top}/iPod_Control/iTunes' && cp iTunesSD iTunesSD.new"},
        {"run on a folder under two names",
         {"{top}"},
         true,
         5,
         "player: {top}",
         "{top}/\xE4\xB8\xAD and {top}/ST_DIR_1 share one song's data",
         "-",
         "mkdir '{top}/ST_DIR_1' && mount --bind '{top}/\xE4\xB8\xAD' '{top}/ST_DIR_1' || exit 77",
         {},
         false,
         "umount '{top}/ST_DIR_1'",
         false,
         {kFolderCut}},
        // A copy its owner made is a song of its own, whether the system says where the two
        // lie (this disk) or a run asked about them once before (vfat, Wine): both listed.
        {"run on a song and its copy",
         {"{top}"},
         true,
         0,
         "two songs: {top}/Music/\xE6\x99\xB4.mp3 and {top}/Music/ST_FILE_1.mp3 hold the same "
         "bytes but are two files; both are kept\n",
         "",
         "",
         kSongCopied,
         {},
         false,
         "",
         false,
         {kSongCutAsked}},
        // A song re-tagged under the name the cut run gave it is that song.
        {"run on a song re-tagged under its new name",
         {"{top}"},
         true,
         0,
         "done: 4 tracks written, 0 files and 1 folder renamed",
         "",
         "",
         "mv '{top}/Music/\xE6\x99\xB4.mp3' '{top}/Music/ST_FILE_1.mp3' && { echo tag >> "
         "'{top}/Music/ST_FILE_1.mp3'; }",
         {},
         false,
         "",
         false,
         {kSongCut}},
        // A copy holds the same names but is a folder of its own: no second name of one.
        {"run on a copied folder",
         {"{top}"},
         true,
         0,
         "5 tracks written, 1 file and 1 folder renamed",
         "",
         "",
         "cp -r '{top}/\xE4\xB8\xAD' '{top}/ST_DIR_1'",
         {},
         false,
         "",
         false,
         {kFolderCut}},
        // Once the drive's repair has parted the names, the run goes on.
        {"run after the repair",
         {"{top}"},
         true,
         0,
         "5 tracks written, 1 file and 1 folder renamed",
         "",
         "",
         "echo > '{top}/Music/ST_FILE_1.mp3'",
         {},
         false,
         "",
         false,
         {kSongCut, kFolderCut}},
        {"run after the repair, recorded by the version before",
         {"{top}"},
         true,
         0,
         "5 tracks written, 1 file and 1 folder renamed",
         "",
         "",
         "echo > '{top}/Music/ST_FILE_1.mp3'",
         {},
         false,
         "",
         false,
         {kSongCut, kFolderCut},
         {},
         "",
         true},
        // A cut on Windows' driver left the song with no name: named, the rest played; after the
        // drive's check, put back under the name it was to have.
        {"run on a song a cut left without a name",
         {"{top}"},
         true,
         4,
         "left out: 1 song or folder that a cut left without a name (after the arrow, the name it "
         "was to have)",
         "",
         "*",
         kSongNameless,
         {},
         false,
         "",
         false,
         {kSongCut}},
        {"check a song the drive's check saved",
         {"--check", "{top}"},
         true,
         1,
         "a run would put back: {top}/FOUND.000/FILE0000.CHK -> {top}/Music/ST_FILE_2.mp3\n",
         "",
         "-",
         kSongSaved,
         {},
         false,
         "",
         false,
         {kSongCut}},
        {"run on a song the drive's check saved",
         {"{top}"},
         true,
         0,
         kPutBackLine,
         "",
         "",
         kSongSaved,
         {},
         false,
         "",
         false,
         {kSongCut}},
        // A cut between the sectors of a rename on Linux: the new name's short entry alone.
        // Another chain of the song's length is no song of its: the bytes tell.
        {"run on a song the drive's check saved beside another chain of its length",
         {"{top}"},
         true,
         0,
         "put back: {top}/FOUND.000/FILE0001.CHK -> {top}/Music/ST_FILE_2.mp3\n",
         "",
         "",
         "mkdir '{top}/FOUND.000' && { tr a-z b-za < '{top}/Music/\xE6\x99\xB4.mp3'; head -c 4093 "
         "/dev/zero; } > '{top}/FOUND.000/FILE0000.CHK' && { cat '{top}/Music/\xE6\x99\xB4.mp3'; "
         "head -c 4093 /dev/zero; } > '{top}/FOUND.000/FILE0001.CHK' && echo other > "
         "'{top}/Music/ST_FILE_1.mp3' && " +
             kSongNameless,
         {},
         false,
         "",
         false,
         {kSongCut}},
        // Put back from FOUND.000, the move must be on the medium in the folder it left too.
        {"run on a song the drive's check saved, the folder it leaves not confirmed",
         {"sh", "-c", "{faults} ZORBEL_FAIL=fsync:FOUND.000 '{cmd}' '{top}'"},
         true,
         1,
         kPutBackLine,
         "the player failed a rename or its confirmation (Input/output error)",
         "*",
         kSongSaved,
         {},
         false,
         "",
         false,
         {kSongCut}},
        {"run on a song under its old name and a short alias",
         {"{top}"},
         true,
         5,
         "player: {top}",
         "{top}/Music/\xE6\x99\xB4.mp3 and {top}/Music/ST_FIL~1.MP3 share one song's data",
         "-",
         "ln '{top}/Music/\xE6\x99\xB4.mp3' '{top}/Music/ST_FIL~1.MP3'",
         {},
         false,
         "",
         false,
         {kSongCut}},
        {"run on a song under a short alias alone",
         {"{top}"},
         true,
         0,
         "put back: {top}/Music/ST_FIL~1.MP3 -> {top}/Music/ST_FILE_1.mp3\n",
         "",
         "",
         "mv '{top}/Music/\xE6\x99\xB4.mp3' '{top}/Music/ST_FIL~1.MP3'",
         {},
         false,
         "",
         false,
         {kSongCut}},
        {"check a song under a short alias alone",
         {"--check", "{top}"},
         true,
         1,
         "a run would put back: {top}/Music/ST_FIL~1.MP3 -> {top}/Music/ST_FILE_1.mp3\n",
         "",
         "-",
         "mv '{top}/Music/\xE6\x99\xB4.mp3' '{top}/Music/ST_FIL~1.MP3'",
         {},
         false,
         "",
         false,
         {kSongCut},
         {},
         "MP3 -> ST_FILE_1.mp3"},
        {"run on a folder under a short alias alone",
         {"{top}"},
         true,
         0,
         "put back: {top}/ST_DIR~1 -> {top}/ST_DIR_1\n",
         "",
         "",
         "mv '{top}/\xE4\xB8\xAD' '{top}/ST_DIR~1'",
         {},
         false,
         "",
         false,
         {kFolderCut}},
        // What Windows adds to a folder it opened does not make the saved folder another.
        {"run on a folder the drive's check saved, Windows' Thumbs.db in it",
         {"{top}"},
         true,
         0,
         "put back: {top}/FOUND.000/DIR0000.CHK -> {top}/ST_DIR_1\n",
         "",
         "",
         "mkdir '{top}/FOUND.000' && mv '{top}/\xE4\xB8\xAD' '{top}/FOUND.000/DIR0000.CHK' && "
         ": > '{top}/FOUND.000/DIR0000.CHK/Thumbs.db'",
         {},
         false,
         "",
         false,
         {kFolderCut}},
        // A chain that cannot be cut to its song's length stays, the song named; the run goes on.
        {"run on a song the drive's check saved in a chain that cannot be cut",
         {"{top}"},
         true,
         4,
         "left out: 1 song or folder that a cut left without a name",
         "",
         "*",
         kSongSaved + " && chattr +i '{top}/FOUND.000/FILE0000.CHK' || exit 77",
         {},
         false,
         "chattr -i '{top}/FOUND.000/FILE0000.CHK'",
         false,
         {kSongCut}},
        // A record held by another program outlives the run that let it go, and is said so; the
        // song its owner deletes afterwards is no song lost in a cut.
        {"run on a record that could not be removed, its song deleted since",
         {"{top}"},
         true,
         0,
         "note: iPod_Control/iTunes/iTunesSD.renames could not be removed (Operation not "
         "permitted)",
         "",
         "*",
         "mv '{top}/Music/\xE6\x99\xB4.mp3' '{top}/Music/ST_FILE_1.mp3' && "
         "mv '{top}/\xE4\xB8\xAD' '{top}/Zhong' && chattr +i '{db}.renames' || exit 77; "
         "'{cmd}' '{top}' && rm '{top}/Music/ST_FILE_1.mp3'",
         {},
         false,
         "chattr -i '{db}.renames'",
         false,
         {kSongCut},
         {},
         "left out"},
        // A record that is no whole one is set aside: read a chunk at a time, never trusted.
        {"run on a damaged record",
         {"{top}"},
         true,
         0,
         "it was set aside as {top}/iPod_Control/iTunes/iTunesSD.renames.damaged\n",
         "",
         "",
         "head -c 67108864 /dev/zero > '{db}.renames'"},
    };
    const unsigned nobody = 65534;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string top = MakeTempFolder();
        std::vector<std::string> files(std::begin(kMusic), std::end(kMusic));
        files.insert(files.end(), c.more.begin(), c.more.end());
        ASSERT_TRUE(MakeHostPlayer(top, files));
        if (!c.player)
            RemoveTree(top + "/iPod_Control");
        if (!c.database.empty()) {
            ASSERT_TRUE(WriteHostFile(top + "/iPod_Control/iTunes/iTunesSD", c.database));
        }
        // What the cut run recorded: each item's identity as the player held it then.
        if (!c.cut.empty()) {
            std::vector<RecordEntry> cut = c.cut;
            PosixFileSystem fs(top, u"P:");
            for (auto& entry : cut)
                entry.identity = fs.IsDirectory(entry.from) ? IdentifyFolder(fs, entry.from)
                                                            : IdentifyFile(fs, entry.from);
            ASSERT_TRUE(WriteHostFile(
                top + kRecord, c.earlierRecord ? EarlierRecord(cut) : EncodeRenameRecord(cut)));
        }
        for (const auto& [path, title, artist, voice] : c.tags) {
            Bytes song = ReadHostFile(top + "/" + path), tag = Id3Tag(title, artist);
            song.insert(song.begin(), tag.begin(), tag.end());
            ASSERT_TRUE(WriteHostFile(top + "/" + path, song));
        }
        if (!c.setup.empty()) {
            int setup = RunProgram({"sh", "-c", Fill(c.setup, top) + " >/dev/null"});
            if (setup == 77) {
                std::printf("passed over on this system: %s\n", c.name);
                RemoveTree(top);
                continue;
            }
            ASSERT_EQ(setup, 0);
        }
        if (c.unprivileged && geteuid() == 0) {
            RunProgram({"chown", "-R", std::to_string(nobody) + ":" + std::to_string(nobody), top});
            chmod(top.c_str(), 0755);
        }
        auto before = HostFiles(top);
        auto times = HostTimes(top);
        std::vector<std::string> args = {ZORBEL_COMMAND};
        if (c.args.size() == 3 && c.args[0] == "sh")
            args.clear();
        for (const auto& arg : c.args)
            args.push_back(Fill(arg, top));
        std::string out, err;
        int code = c.unprivileged && geteuid() == 0 ? RunProgramAs(nobody, nobody, args, &out, &err)
                                                    : RunProgram(args, &out, &err);
        EXPECT_EQ(code, c.code) << out << err;
        if (c.out.empty())
            EXPECT_EQ(out, "");  // a refusal prints no summary
        else
            EXPECT_NE(out.find(Fill(c.out, top)), std::string::npos) << out;
        if (!c.absent.empty()) {
            EXPECT_EQ(out.find(c.absent), std::string::npos) << out;
        }
        if (c.err.empty())
            EXPECT_EQ(err, "");  // a success says nothing on stderr
        else
            EXPECT_NE(err.find(Fill(c.err, top)), std::string::npos) << err;
        // No name may reach the terminal as a command.
        EXPECT_EQ(out.find('\x1b'), std::string::npos);
        EXPECT_EQ(err.find('\x1b'), std::string::npos);
        if (c.below == "-") {
            EXPECT_EQ(HostFiles(top), before);
            EXPECT_EQ(HostTimes(top), times);
        } else if (c.below == "old") {
            EXPECT_EQ(ReadHostFile(top + "/iPod_Control/iTunes/iTunesSD"), OldDatabaseBytes());
        } else if (c.below != "*") {
            auto db = ParseDatabase(ReadHostFile(top + "/iPod_Control/iTunes/iTunesSD"));
            ASSERT_TRUE(db);
            EXPECT_EQ(db->later, c.later);
            EXPECT_EQ(db->names, HostTracks(top, c.below));
            // With the new database in place, an earlier run's record of renames is let go.
            EXPECT_NE(access((top + kRecord).c_str(), F_OK), 0);
        }
        if (c.spoken >= 0)
            CheckSpokenNames(top, c);
        if (!c.cleanup.empty())
            RunProgram({"sh", "-c", Fill(c.cleanup, top)});
        RemoveTree(top);
    }
}

TEST(Command, FailedRunsKeepTheOldDatabase) {
    std::string top = MakeTempFolder();
    ASSERT_TRUE(MakeHostPlayer(top, {"a.mp3", "\xE6\x99\xB4.mp3"}));
    std::string db = top + "/iPod_Control/iTunes/iTunesSD", err;
    {
        PosixFileSystem fs(top, u"P:");
        auto held = fs.LockPlayer(u"P:\\iPod_Control\\iTunes\\iTunesSD");
        EXPECT_EQ(RunProgram({ZORBEL_COMMAND, top}, nullptr, &err), 1);
        EXPECT_NE(err.find("another run is updating this player"), std::string::npos) << err;
    }
    if (SetImmutable(db, true)) {
        EXPECT_EQ(RunProgram({ZORBEL_COMMAND, top}, nullptr, &err), 1);
        SetImmutable(db, false);
        EXPECT_NE(err.find("the old one is kept"), std::string::npos) << err;
        // Its renames were all confirmed: no record is left to block a later run.
        EXPECT_NE(access((top + kRecord).c_str(), F_OK), 0);
    }
    EXPECT_EQ(ReadHostFile(db), OldDatabaseBytes());
    RemoveTree(top);
}

// A user who may not read the database's folder cannot lock the player: that is no other run.
// The run ends before anything changes, naming the system's reason.
TEST(Command, UnlockablePlayerIsNotBusy) {
    std::string top = MakeTempFolder();
    ASSERT_TRUE(MakeHostPlayer(top, {"\xE6\x99\xB4.mp3"}));
    const std::string folder = top + "/iPod_Control/iTunes";
    auto before = HostFiles(top);
    std::string out, err;
    int code;
    if (geteuid() == 0) {
        // Root reads any folder: the player is handed to an unprivileged user who runs it.
        const unsigned nobody = 65534;
        RunProgram({"chown", "-R", std::to_string(nobody) + ":" + std::to_string(nobody), top});
        chmod(top.c_str(), 0755);
        chmod(folder.c_str(), 0300);
        code = RunProgramAs(nobody, nobody, {ZORBEL_COMMAND, top}, &out, &err);
    } else {
        chmod(folder.c_str(), 0300);
        code = RunProgram({ZORBEL_COMMAND, top}, &out, &err);
    }
    chmod(folder.c_str(), 0755);
    if (code == -2 || code == 126 || code == 127) {
        RemoveTree(top);
        GTEST_SKIP() << "cannot run the command as a user without access here: " << code << err;
    }
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find("the player could not be locked (Permission denied)"), std::string::npos)
        << err;
    EXPECT_EQ(err.find("another run"), std::string::npos) << err;
    EXPECT_EQ(out.find("done:"), std::string::npos) << out;
    EXPECT_EQ(HostFiles(top), before);
    RemoveTree(top);
}

TEST(Progress, TextsShowRealPathsAndFitTheTerminal) {
    UseTerminalLocale();
    EXPECT_EQ(DisplayText(u"Rename: P:\\x\\晴.mp3 to P:\\x\\ST_FILE_1.mp3", u"P:", "/m"),
              "Rename: /m/x/\xE6\x99\xB4.mp3 to /m/x/ST_FILE_1.mp3");
    EXPECT_EQ(DisplayText(u"File: P:\\bad\xDCFF.mp3", u"P:", "/"), "File: /bad\xFF.mp3");
    const std::tuple<std::string, size_t, std::string> fits[] = {
        {"abc", 3, "abc"},
        {"abcdef", 5, "...ef"},
        {"\xE6\x99\xB4\xE6\x99\xB4\xE5\xA4\xA9.mp3", 9, "...\xE5\xA4\xA9.mp3"},  // wide: 2 columns
        {"abcdef", 2, ".."},
        {"e\xCC\x81t\xC3\xA9.mp3", 7, "e\xCC\x81t\xC3\xA9.mp3"},  // a combining accent: none
    };
    for (const auto& [text, columns, expected] : fits) {
        EXPECT_EQ(FitColumns(text, columns), expected);
        EXPECT_LE(Columns(FitColumns(text, columns)), columns);
    }

    // Control characters of names are shown escaped; everything else byte for byte.
    const std::pair<std::string, std::string> escapes[] = {
        {"a\x1b[2Jb", "a\\033[2Jb"},
        {"line\nfeed\x7f", "line\\012feed\\177"},
        {"\xC2\x9B"
         "csi",
         "\\302\\233csi"},  // C1 as UTF-8
        {"\x9B"
         "stray",
         "\\233stray"},                                            // C1 as a byte of no UTF-8
        {"\xE6\x99\xB4\xC3\xA9\xFF", "\xE6\x99\xB4\xC3\xA9\xFF"},  // continuation bytes stay
    };
    for (const auto& [text, expected] : escapes)
        EXPECT_EQ(EscapeControls(text), expected);
    EXPECT_EQ(DisplayText(u"File: P:\\a\x1b\n.mp3", u"P:", "/m"), "File: /m/a\\033\\012.mp3");

    // On a terminal: one line rewritten, throttled by the clock, and a last line that stays.
    std::FILE* out = std::tmpfile();
    auto now = std::chrono::steady_clock::time_point() + std::chrono::hours(1);
    Progress progress(out, 30, u"P:", "/m", [&now] { return now; });
    auto report = [&](RunPhase phase, size_t count, std::u16string_view item,
                      std::u16string_view text) {
        progress.SetProgress(phase, count, item);
        progress.SetLinkText(text, 0);
    };
    report(RunPhase::Searching, 1, u"晴天.mp3", u"Search File: 晴天.mp3");  // drawn
    report(RunPhase::Searching, 1, u"P:\\晴", u"File: P:\\晴");
    report(RunPhase::Renaming, 1, u"P:\\晴天.mp3", u"Rename: P:\\晴天.mp3 to P:\\ST_FILE_1.mp3");
    for (size_t i = 1; i <= 1000; ++i)
        report(RunPhase::ListingTracks, i, u"P:\\Music\\x\\song.mp3",
               u"File: P:\\Music\\x\\song.mp3");
    now += std::chrono::milliseconds(200);
    report(RunPhase::ListingTracks, 1001, u"P:\\a.mp3", u"File: P:\\a.mp3");  // drawn
    progress.SetProgress(RunPhase::Writing, 1001, u"P:\\iPod_Control\\iTunes\\iTunesSD");
    progress.SetOutcome(RunOutcome::Done, 0);
    progress.SetLinkText(u"完成", 0);
    progress.Finish();
    std::string written(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    ASSERT_EQ(std::fread(written.data(), 1, written.size(), out), written.size());
    std::fclose(out);
    EXPECT_EQ(written,
              "\rsearching 1: \xE6\x99\xB4\xE5\xA4\xA9.mp3\x1b[K"
              "\rlisting tracks 1,001: a.mp3\x1b[K"
              "\rwriting 1,001: ...es/iTunesSD\x1b[K"
              "\rwriting 1,001: ...es/iTunesSD\x1b[K\n");
    EXPECT_EQ(progress.Count(RunPhase::Searching), 1u);
    EXPECT_EQ(progress.Count(RunPhase::Renaming), 1u);
    EXPECT_EQ(progress.Count(RunPhase::ListingTracks), 1001u);
    EXPECT_EQ(progress.Outcome(), RunOutcome::Done);
    EXPECT_EQ(progress.LastText(), u"完成");
}

// The phase comes from the engine, whatever script the paths are in: a tree under a Chinese
// folder is listed as tracks, never taken for the search.
TEST(Progress, PhasesOfARunOnChinesePaths) {
    MemoryFileSystem fs;
    fs.AddFile(u"E:\\iPod_Control\\iTunes\\iTunesSD", Bytes(3, 0xEE));
    fs.AddFile(u"E:\\中文\\Sub\\a.mp3");
    fs.AddFile(u"E:\\中文\\Sub\\b.mp3");
    std::FILE* out = std::tmpfile();
    auto now = std::chrono::steady_clock::time_point();
    Progress progress(out, 80, u"E:", "/m", [&now] { return now += std::chrono::seconds(1); });
    CSyncJob job(fs);
    job.SetStatusLabel(&progress);
    CommandProbe probe(u"E:", "");
    ASSERT_EQ(job.CheckLocation(probe), 1);
    EXPECT_EQ(job.Run(), RunOutcome::Done);
    progress.Finish();
    std::string written(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    ASSERT_EQ(std::fread(written.data(), 1, written.size(), out), written.size());
    std::fclose(out);
    EXPECT_NE(written.find("\rlisting tracks 2 of 2: \xE4\xB8\xAD\xE6\x96\x87/Sub/b.mp3\x1b[K"),
              std::string::npos)
        << written;
    EXPECT_EQ(written.substr(written.rfind('\r')),
              "\rwriting 2: iPod_Control/iTunes/iTunesSD\x1b[K\n");
    EXPECT_EQ(progress.Count(RunPhase::Searching), 7u);  // the player's own folders too
    EXPECT_EQ(progress.Count(RunPhase::Renaming), 0u);
    EXPECT_EQ(progress.Outcome(), RunOutcome::Done);
}

}  // namespace
