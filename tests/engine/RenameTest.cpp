// Renaming wide-named MP3 files and the folders that hold them: what is collected and in which
// order, the numbering, refused and too-long renames, and the texts shown.
#include <gtest/gtest.h>

#include <set>

#include "EngineFixture.h"
#include "base/Messages.h"
#include "RunInvariants.h"
#include "base/Text.h"
#include "record/RenameRecord.h"

namespace {

using List = std::vector<std::u16string>;

struct Rename : EngineFixture {
    void Add(const std::u16string& path) { fs.AddFile(path, ContentOf(path)); }
    void Run(const std::u16string& root) {
        job.ScanForRename(root);
        job.RenamePass();
    }
    std::multiset<Bytes> Contents() const {
        std::multiset<Bytes> all;
        for (const auto& [path, bytes] : fs.Snapshot())
            if (bytes)
                all.insert(*bytes);
        return all;
    }
};

TEST(HasWideChars, OnlyUnitsAbove00FFCount) {
    const struct {
        std::u16string name;
        int wide;
    } cases[] = {{u"", 0},
                 {u"plain.mp3", 0},
                 {u"\u00E9t\u00E9 \u00FF", 0},
                 {u"\u0080", 0},
                 {u"a\u0100", 1},
                 {u"\u4E2D\u6587", 1},
                 {{char16_t(0xD83C)}, 1},
                 {{u'x', char16_t(0xDFFF), u'y'}, 1},
                 {u"\uFFFF", 1}};
    for (const auto& c : cases)
        EXPECT_EQ(CSyncJob::HasWideChars(c.name), c.wide) << Printable(c.name);
}

TEST_F(Rename, CollectsInnermostFirstAndOnlyFoldersHoldingMp3) {
    const std::u16string r = u"E:\\\u6839";  // a wide root is never renamed itself
    for (const auto* name :
         {u"\\\u7532\\\u4E59.mp3", u"\\\u7532\\plain.mp3", u"\\\u4E19\\sub\\x.mp3",
          u"\\\u4E19\\\u4E01\\y.mp3", u"\\\u620A.txt", u"\\\u5DF1\\a.txt", u"\\\u5E9A.MP3"})
        Add(r + name);
    fs.AddFolder(r + u"\\\u8F9B.mp3");

    EXPECT_EQ(job.ScanForRename(r), 1);
    EXPECT_EQ(Paths(), (List{r + u"\\\u7532\\\u4E59.mp3", r + u"\\\u7532", r + u"\\\u4E19\\\u4E01",
                             r + u"\\\u5E9A.MP3"}));
    job.m_lstPaths.Clear();
    EXPECT_EQ(job.ScanForRename(r + u"\\\u4E19"), 0);  // its MP3 files lie deeper
    EXPECT_EQ(job.ScanForRename(r + u"\\\u7532"), 1);
    job.m_lstPaths.Clear();

    auto before = Contents();
    Run(r);
    EXPECT_TRUE(Paths().empty());
    // Each folder is told all its new names, under the paths it had, before the first rename.
    using Prepared = std::vector<std::pair<std::u16string, List>>;
    EXPECT_EQ(fs.prepared, (Prepared{{r + u"\\\u7532", {u"ST_FILE_1.mp3"}},
                                     {r, {u"ST_DIR_1", u"ST_FILE_1.mp3"}},
                                     {r + u"\\\u4E19", {u"ST_DIR_1"}}}));
    EXPECT_EQ(fs.Names(r), (List{u"ST_DIR_1", u"\u4E19", u"\u620A.txt", u"\u5DF1", u"ST_FILE_1.mp3",
                                 u"\u8F9B.mp3"}));
    EXPECT_EQ(fs.Names(r + u"\\ST_DIR_1"), (List{u"ST_FILE_1.mp3", u"plain.mp3"}));
    EXPECT_EQ(fs.Names(r + u"\\\u4E19"), (List{u"sub", u"ST_DIR_1"}));
    EXPECT_EQ(fs.Read(r + u"\\ST_DIR_1\\ST_FILE_1.mp3"), ContentOf(r + u"\\\u7532\\\u4E59.mp3"));
    EXPECT_EQ(Contents(), before);
}

TEST_F(Rename, Numbering) {
    const struct {
        List files;  // made in this order, under E:
        std::vector<std::pair<std::u16string, List>> after;
    } cases[] = {
        // Unique within a folder only: the counter keeps the number it gave last.
        {{u"A\\\u4E00.mp3", u"A\\\u4E8C.mp3", u"A\\\u4E09.mp3", u"B\\\u56DB.mp3"},
         {{u"E:\\A", {u"ST_FILE_1.mp3", u"ST_FILE_2.mp3", u"ST_FILE_3.mp3"}},
          {u"E:\\B", {u"ST_FILE_3.mp3"}}}},
        {{u"A\\ST_FILE_1.mp3", u"A\\\u4E00.mp3"},
         {{u"E:\\A", {u"ST_FILE_1.mp3", u"ST_FILE_2.mp3"}}}},
        {{u"A\\st_file_1.MP3", u"A\\\u4E00.MP3"},
         {{u"E:\\A", {u"st_file_1.MP3", u"ST_FILE_2.mp3"}}}},
        {{u"A\\\u4E00.mp3", u"A\\ST_FILE_2.mp3", u"A\\\u4E8C.mp3"},
         {{u"E:\\A", {u"ST_FILE_1.mp3", u"ST_FILE_2.mp3", u"ST_FILE_3.mp3"}}}},
        // Folders count apart from files.
        {{u"A\\\u4E00.mp3", u"A\\\u4E8C.mp3", u"\u7532\\b.mp3", u"\u4E59\\c.mp3"},
         {{u"E:", {u"A", u"ST_DIR_1", u"ST_DIR_2"}},
          {u"E:\\A", {u"ST_FILE_1.mp3", u"ST_FILE_2.mp3"}}}},
        {{u"A\\\u4E00.MP3", u"A\\\u4E8C.Mp3"}, {{u"E:\\A", {u"ST_FILE_1.mp3", u"ST_FILE_2.mp3"}}}},
    };
    for (const auto& c : cases) {
        MemoryFileSystem tree;
        CSyncJob run(tree);
        for (const auto& file : c.files)
            tree.AddFile(u"E:\\" + file);
        run.ScanForRename(u"E:");
        run.RenamePass();
        for (const auto& [folder, names] : c.after)
            EXPECT_EQ(tree.Names(folder), names) << Printable(c.files.front());
    }
}

TEST_F(Rename, RefusedRenameKeepsNameAndTrackIsFoundThere) {
    Add(u"E:\\A\\\u4E00.mp3");
    Add(u"E:\\A\\\u4E8C.mp3");
    Add(u"E:\\\u7532\\\u4E59.mp3");
    fs.SetLocked(u"E:\\A\\\u4E00.mp3", true);
    fs.SetLocked(u"E:\\\u7532", true);
    Run(u"E:");
    // The refused rename was shown; the next file takes the number that was meant for it.
    EXPECT_EQ(TextsStarting(u"Rename: "),
              (List{u"Rename: E:\\A\\\u4E00.mp3 to E:\\A\\ST_FILE_1.mp3",
                    u"Rename: E:\\A\\\u4E8C.mp3 to E:\\A\\ST_FILE_1.mp3",
                    u"Rename: E:\\\u7532\\\u4E59.mp3 to E:\\\u7532\\ST_FILE_1.mp3",
                    u"Rename: E:\\\u7532 to E:\\ST_DIR_1"}));
    job.ScanTracks(u"E:");
    EXPECT_EQ(Paths(), (List{u"/A/\u4E00.mp3", u"/A/ST_FILE_1.mp3", u"/\u7532/ST_FILE_1.mp3"}));
}

TEST_F(Rename, PathsThatDoNotFitAreLeftAlone) {
    // Old path and new path must both stay below 260 units.
    const struct {
        size_t folderUnits;  // "E:\" and one folder name
        size_t nameUnits;    // one wide unit, padding, ".mp3"
        bool renamed;
    } cases[] = {{245, 5, true},    // new path 259
                 {246, 5, false},   // new path 260
                 {245, 13, true},   // old path 259
                 {245, 14, false},  // old path 260
                 {240, 30, false}};
    for (const auto& c : cases) {
        MemoryFileSystem tree;
        RecordingStatusLabel shown;
        CSyncJob run(tree);
        run.SetStatusLabel(&shown);
        std::u16string folder = u"E:\\" + std::u16string(c.folderUnits - 3, u'a');
        std::u16string name = u"\u4E2D" + std::u16string(c.nameUnits - 5, u'b') + u".mp3";
        tree.AddFile(folder + u"\\" + name);
        run.ScanForRename(u"E:");
        ASSERT_EQ(run.m_lstPaths.Count(), 1u);
        run.RenamePass();
        SCOPED_TRACE(std::to_string(c.folderUnits) + "+" + std::to_string(c.nameUnits));
        EXPECT_TRUE(run.m_lstPaths.Empty());
        EXPECT_EQ(tree.Names(folder), List{c.renamed ? u"ST_FILE_1.mp3" : name});
        auto texts = shown.Texts();
        EXPECT_EQ(texts.back().rfind(u"Rename: ", 0) == 0, c.renamed);
    }
}

TEST_F(Rename, ShowsSearchFileRenameInOrder) {
    Add(u"E:\\R\\\u7532\\\u4E59.mp3");
    Add(u"E:\\R\\b.txt");
    Run(u"E:\\R");
    EXPECT_EQ(
        label.Texts(),
        (List{u"Search File: \u7532", u"Search File: \u4E59.mp3",
              u"File: E:\\R\\\u7532\\\u4E59.mp3", u"File: E:\\R\\\u7532", u"Search File: b.txt",
              u"Rename: E:\\R\\\u7532\\\u4E59.mp3 to E:\\R\\\u7532\\ST_FILE_1.mp3",
              u"Rename: E:\\R\\\u7532 to E:\\R\\ST_DIR_1"}));
    using Call = RecordingStatusLabel::Call;
    ASSERT_EQ(label.events.size(), 3 * label.Texts().size());
    for (size_t i = 0; i < label.events.size(); i += 3) {
        EXPECT_EQ(label.events[i].call, Call::Invalidate);
        EXPECT_EQ(label.events[i + 1].call, Call::SetPlain);
        EXPECT_EQ(label.events[i + 1].value, 1);
        EXPECT_EQ(label.events[i + 2].value, kNoCommand);
    }
    EXPECT_EQ(fs.Read(u"E:\\R\\ST_DIR_1\\ST_FILE_1.mp3"), ContentOf(u"E:\\R\\\u7532\\\u4E59.mp3"));
    EXPECT_EQ(fs.Read(u"E:\\R\\b.txt"), ContentOf(u"E:\\R\\b.txt"));
}

TEST_F(Rename, NothingWideMeansNothingRenamedOrShownByThePass) {
    Add(u"E:\\R\\\u00E9t\u00E9.mp3");
    Add(u"E:\\R\\\u4E2D.txt");
    job.ScanForRename(u"E:\\R");
    EXPECT_TRUE(Paths().empty());
    size_t shown = label.events.size();
    EXPECT_EQ(job.RenamePass(), 1);
    EXPECT_EQ(label.events.size(), shown);
    EXPECT_EQ(fs.Names(u"E:\\R"), (List{u"\u00E9t\u00E9.mp3", u"\u4E2D.txt"}));
}

TEST_F(Rename, UnlistableOrLinkedFoldersKeepTheirNames) {
    Add(u"E:\\\u7532\\a.mp3");
    fs.AddLink(u"E:\\\u4E59");
    Add(u"E:\\\u4E59\\\u4E19.mp3");
    std::vector<std::u16string> listed;
    fs.failWhen = [&](FsOp op, const std::u16string& path) {
        if (op == FsOp::List)
            listed.push_back(path);
        return op == FsOp::List && path == u"E:\\\u7532";
    };
    EXPECT_EQ(job.ScanForRename(u"E:"), 0);
    EXPECT_TRUE(Paths().empty());
    EXPECT_EQ(listed, (List{u"E:", u"E:\\\u7532"}));
}

}  // namespace

namespace {

// The record of renames read back: only a whole record is taken, its count and sum compared
// before anything is kept, and no more items than a player holds.
TEST(RenameRecord, OnlyAWholeRecordIsRead) {
    const std::vector<RecordEntry> two = {
        {u"E:\\Music\\\u6674.mp3",
         u"E:\\Music\\ST_FILE_1.mp3",
         {ItemIdentity::Kind::File, 9, 7, {}}},
        {u"E:\\\u4E2D", u"E:\\ST_DIR_1", {ItemIdentity::Kind::Folder, 0, 0, {u"a.mp3"}}}};
    const Bytes whole = EncodeRenameRecord(two);
    Bytes changed = whole, cut = whole, recounted = whole;
    changed[16] ^= 1;  // "M" of the first path "/Music/...": only its sum tells
    cut.resize(cut.size() - 1);
    recounted[recounted.size() - 12] ^= 1;  // the count of entries
    std::vector<RecordEntry> many;
    for (int i = 0; i <= 65536; ++i)
        many.push_back({u"E:\\" + FormatNumber(u"%d", i), u"E:\\ST_DIR_1", {}});
    const std::vector<RecordEntry> twice = {two[0], two[0]};
    const struct {
        const char* name;
        Bytes bytes;
        RecordRead read;
        size_t entries;
    } cases[] = {
        {"whole", whole, RecordRead::Whole, 2},
        {"changed", changed, RecordRead::Damaged, 0},
        {"cut short", cut, RecordRead::Damaged, 0},
        {"miscounted", recounted, RecordRead::Damaged, 0},
        {"more items than a player holds", EncodeRenameRecord(many), RecordRead::Damaged, 0},
        {"an item named twice", EncodeRenameRecord(twice), RecordRead::Damaged, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFileSystem fs;
        fs.AddFile(u"E:\\record", c.bytes);
        std::vector<RecordEntry> read;
        EXPECT_EQ(DecodeRenameRecord(*fs.OpenInput(u"E:\\record"), u"E:", read), c.read);
        ASSERT_EQ(read.size(), c.entries);
        if (c.entries) {
            EXPECT_EQ(read[1].to, two[1].to);
            EXPECT_TRUE(read[1].identity == two[1].identity);
        }
    }
}

}  // namespace
