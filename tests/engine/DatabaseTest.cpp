// The database bytes in either generations' layout, the layout read from the player, and the
// writer's all-or-nothing replacement of the old file.
#include <gtest/gtest.h>

#include <algorithm>

#include "database/Database.h"
#include "DatabaseFile.h"
#include "EngineFixture.h"
#include "database/LaterDatabase.h"
#include "base/Messages.h"
#include "check/PlayerCheck.h"
#include "RunInvariants.h"

namespace {

const std::u16string kTemp = kDb + u".new";
const Bytes kOldDb(2000, 0xEE);

struct WriterFixture : EngineFixture {
    WriterFixture() {
        fs.AddFile(kDb, kOldDb);
        job.m_strDbPath = kDb;
    }
    void AddEntries(size_t count) {
        for (size_t i = 0; i < count; ++i)
            job.m_lstPaths.Append(u"/t" + std::u16string(i % 7 + 1, u'x') + u".mp3");
    }
    Bytes NameField(size_t record = 0) const {
        Bytes db = fs.Read(kDb);
        auto at = db.begin() + kDbHeaderSize + record * kDbRecordSize + 33;
        return Bytes(at, at + kDbNameUnits * 2);
    }
    void ExpectOldKept() {
        EXPECT_EQ(fs.Read(kDb), kOldDb);
        EXPECT_FALSE(fs.HasFile(kTemp));
        EXPECT_EQ(label.text, kMsgDatabaseFailed);
        auto texts = label.Texts();
        EXPECT_EQ(std::count(texts.begin(), texts.end(), kMsgDone), 0);
    }
};

TEST(DatabaseHeader, CountIsThreeBytesBigEndian) {
    const struct {
        size_t count;
        Bytes head;
    } cases[] = {{0, {0, 0, 0}},
                 {1, {0, 0, 1}},
                 {300, {0, 1, 0x2C}},
                 {0x123456, {0x12, 0x34, 0x56}},
                 {0xFFFFFF, {0xFF, 0xFF, 0xFF}},
                 {0x1000001, {0, 0, 1}}};
    for (const auto& c : cases) {
        auto header = MakeDbHeader(c.count);
        EXPECT_EQ(Bytes(header.begin(), header.begin() + 3), c.head) << c.count;
        EXPECT_EQ(Bytes(header.begin() + 3, header.end()),
                  (Bytes{1, 8, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    }
}

TEST(DatabaseRecord, NameStopsAtTheTextsEnd) {
    // Views into a longer text: nothing past a view's end may reach the record.
    const std::u16string text(300, u'd');
    for (size_t units : {0, 1, 259, 260, 261, 262}) {
        uint8_t record[kDbRecordSize];
        std::fill(std::begin(record), std::end(record), 0xCC);
        FillDbRecord(std::u16string_view(text).substr(0, units), record);
        for (size_t i = 0; i < kDbNameUnits; ++i)
            ASSERT_EQ(record[33 + 2 * i], i < units ? u'd' : 0) << units << " " << i;
        EXPECT_EQ(Bytes(record + 555, record + 558), (Bytes{1, 0, 0}));
    }
}

TEST_F(WriterFixture, EmptyListGivesEighteenBytes) {
    EXPECT_EQ(job.WriteDatabase(), 1);
    EXPECT_EQ(fs.Read(kDb), (Bytes{0, 0, 0, 1, 8, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    // The run's story ends a run whose database is in place.
    EXPECT_EQ(label.text, u"");
    job.EndWritten();
    EXPECT_EQ(label.text, kMsgDone);
}

TEST_F(WriterFixture, OneEntryReplacesLongerFileCompletely) {
    job.m_lstPaths.Append(u"/a.mp3");
    EXPECT_EQ(job.WriteDatabase(), 1);
    Bytes db = fs.Read(kDb);
    ASSERT_EQ(db.size(), 576u);  // nothing of the old 2000 bytes remains
    EXPECT_EQ(Bytes(db.begin(), db.begin() + 3), (Bytes{0, 0, 1}));
    Bytes record(db.begin() + 18, db.end());
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 6), (Bytes{0x00, 0x02, 0x2E, 0x5A, 0xA5, 1}));
    EXPECT_TRUE(std::all_of(record.begin() + 6, record.begin() + 27, [](uint8_t b) { return !b; }));
    EXPECT_EQ(Bytes(record.begin() + 27, record.begin() + 33), (Bytes{0, 0, 1, 0, 2, 0}));
    EXPECT_EQ(Bytes(record.begin() + 33, record.begin() + 45),
              (Bytes{0x2F, 0, 0x61, 0, 0x2E, 0, 0x6D, 0, 0x70, 0, 0x33, 0}));
    EXPECT_TRUE(
        std::all_of(record.begin() + 45, record.begin() + 555, [](uint8_t b) { return !b; }));
    EXPECT_EQ(Bytes(record.begin() + 555, record.end()), (Bytes{1, 0, 0}));
    EXPECT_FALSE(fs.HasFile(kTemp));
    EXPECT_EQ(job.m_lstPaths.Count(), 1u);  // read, not consumed
}

TEST_F(WriterFixture, NameFieldHoldsFirst261UnitsLowByteFirst) {
    const struct {
        std::u16string entry;
        size_t keptUnits;
    } cases[] = {{u"/" + std::u16string(260, u'a'), 261},  // exactly full: no zero unit
                 {u"/" + std::u16string(299, u'b'), 261},  // cut
                 {{u'/', u'\u4E2D', u'\u00FF', char16_t(0xD800)}, 4}};
    for (const auto& c : cases) {
        job.m_lstPaths.Clear();
        job.m_lstPaths.Append(c.entry);
        ASSERT_EQ(job.WriteDatabase(), 1);
        Bytes field = NameField();
        for (size_t i = 0; i < kDbNameUnits; ++i) {
            char16_t expected = i < c.keptUnits ? c.entry[i] : 0;
            ASSERT_EQ(field[2 * i], expected & 0xFF) << i;
            ASSERT_EQ(field[2 * i + 1], expected >> 8) << i;
        }
    }
    Bytes last = NameField();
    EXPECT_EQ(Bytes(last.begin(), last.begin() + 8),
              (Bytes{0x2F, 0, 0x2D, 0x4E, 0xFF, 0x00, 0x00, 0xD8}));
}

TEST_F(WriterFixture, ThreeHundredEntriesInListOrder) {
    AddEntries(300);
    ASSERT_EQ(job.WriteDatabase(), 1);
    Bytes db = fs.Read(kDb);
    EXPECT_EQ(db.size(), 18u + 558u * 300);
    EXPECT_EQ(Bytes(db.begin(), db.begin() + 3), (Bytes{0x00, 0x01, 0x2C}));
    std::string why;
    auto parsed = ParseDatabase(db, &why);
    ASSERT_TRUE(parsed) << why;
    EXPECT_EQ(parsed->names, Paths());
}

TEST(DatabaseWriter, EveryFailureKeepsOldDatabase) {
    // 200 records make two 64 KiB writes, so the second write fails in the middle of the file;
    // the first fails while the later layout's encoder still has records to put.
    const struct {
        FsOp op;
        int nth;
        DbFormat format = DbFormat::Early;
    } cases[] = {{FsOp::Create, 1},
                 {FsOp::Write, 1},
                 {FsOp::Write, 2},
                 {FsOp::Flush, 1},
                 {FsOp::Close, 1},
                 {FsOp::Replace, 1},
                 {FsOp::Write, 1, DbFormat::Later}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(FsOpName(c.op)) + " #" + std::to_string(c.nth));
        MemoryFileSystem fresh;
        fresh.AddFile(kDb, kOldDb);
        RecordingStatusLabel freshLabel;
        CSyncJob writer(fresh);
        writer.SetStatusLabel(&freshLabel);
        writer.m_strDbPath = kDb;
        writer.Database().SetFormat(c.format);
        for (size_t i = 0; i < 200; ++i)
            writer.m_lstPaths.Append(u"/song.mp3");
        int seen = 0;
        fresh.failWhen = [&](FsOp op, const std::u16string&) {
            return op == c.op && ++seen == c.nth;
        };
        EXPECT_EQ(writer.WriteDatabase(), 0);
        EXPECT_EQ(seen, c.nth);
        EXPECT_EQ(fresh.Read(kDb), kOldDb);
        EXPECT_FALSE(fresh.HasFile(kTemp));
        EXPECT_EQ(freshLabel.Texts(), std::vector<std::u16string>{kMsgDatabaseFailed});
    }
}

TEST_F(WriterFixture, NoDatabasePathWritesNothing) {
    job.m_strDbPath.clear();
    EXPECT_EQ(job.WriteDatabase(), 0);
    ExpectOldKept();
}

TEST(DatabaseWriter, FolderAtDatabasePathIsLeftAlone) {
    // The location check accepts a folder named iTunesSD; the writer must not replace it.
    MemoryFileSystem fs;
    fs.AddFile(kDb + u"\\keep", Bytes{7});
    RecordingStatusLabel label;
    CSyncJob job(fs);
    job.SetStatusLabel(&label);
    job.m_strDbPath = kDb;
    EXPECT_EQ(job.WriteDatabase(), 0);
    EXPECT_EQ(fs.Read(kDb + u"\\keep"), Bytes{7});
    EXPECT_FALSE(fs.HasFile(kTemp));
    EXPECT_EQ(label.Texts(), std::vector<std::u16string>{kMsgDatabaseFailed});
}

TEST_F(WriterFixture, AtMostOneWritePer64KiB) {
    AddEntries(2000);
    size_t writes = 0;
    fs.failWhen = [&](FsOp op, const std::u16string&) {
        writes += op == FsOp::Write;
        return false;
    };
    ASSERT_EQ(job.WriteDatabase(), 1);
    size_t bytes = 18 + 558 * 2000;
    EXPECT_EQ(fs.Read(kDb).size(), bytes);
    EXPECT_LE(writes, (bytes + 65535) / 65536);
    auto parsed = ParseDatabase(fs.Read(kDb));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->names, Paths());
}

// Bytes laid out by hand: 4-byte tags, little-endian words, single bytes and UTF-8 names at their
// offsets, zeros elsewhere.
struct Laid {
    size_t size;
    std::vector<std::pair<size_t, const char*>> tags;
    std::vector<std::pair<size_t, uint32_t>> words = {};
    std::vector<std::pair<size_t, uint8_t>> bytes = {};
    std::vector<std::pair<size_t, std::string>> names = {};
    std::vector<std::pair<size_t, uint64_t>> longs = {};  // little-endian, 8 bytes

    Bytes Make() const {
        Bytes out(size, 0);
        for (auto [at, tag] : tags)
            std::copy_n(tag, 4, out.begin() + at);
        for (auto [at, word] : words)
            for (int i = 0; i < 4; ++i)
                out[at + i] = static_cast<uint8_t>(word >> 8 * i);
        for (auto [at, byte] : bytes)
            out[at] = byte;
        for (const auto& [at, name] : names)
            std::copy(name.begin(), name.end(), out.begin() + at);
        for (auto [at, value] : longs)
            for (int i = 0; i < 8; ++i)
                out[at + i] = static_cast<uint8_t>(value >> 8 * i);
        return out;
    }
};

// Small trees on a later player, run whole, against bytes worked out by hand from the layout.
TEST(LaterDatabase, GoldensForSmallTrees) {
    const struct {
        const char* name;
        Laid old;
        std::vector<std::u16string> files;
        Laid golden;
    } cases[] = {
        // 64 + (20 + 4 * 3) + 372 * 3 + 24 + (44 + 4 * 3) = 1292 bytes for three tracks. The
        // header: version, its length, tracks, playlists (no volume limit at 28, VoiceOver at 29
        // turned on: the player listed no songs), tracks again, the track header at 64, the
        // playlists at 1212. The track header: its length, tracks, each record's offset. Each
        // record: its length, an MP3 file, its path in UTF-8 from its byte 24, at 284: not skipped
        // when shuffling, and at 328 the id its spoken name is filed under: the 64-bit FNV-1a of
        // its path's UTF-16LE bytes, ASCII letters folded (worked out apart from the engine). The
        // playlist header: its length, one playlist, no podcast, one master and no audiobook
        // playlist (16 bits each), the playlist at 1236. The master playlist: its length, tracks
        // twice, the master's type, each track's number in order.
        {"a new database",
         {4, {{0, "bdhs"}}},
         {u"E:\\a.mp3", u"E:\\Music\\\u00E9.mp3", u"E:\\Music\\\u6674.mp3",
          u"E:\\Music\\cover.jpg"},
         {1292,
          {{0, "bdhs"},
           {64, "hths"},
           {96, "rths"},
           {468, "rths"},
           {840, "rths"},
           {1212, "hphs"},
           {1236, "lphs"}},
          {{4, 0x02000003}, {8, 64},   {12, 3},         {16, 1},        {32, 3},      {36, 64},
           {40, 1212},      {68, 32},  {72, 3},         {84, 96},       {88, 468},    {92, 840},
           {100, 372},      {116, 1},  {472, 372},      {488, 1},       {844, 372},   {860, 1},
           {1216, 24},      {1220, 1}, {1224, 0x1FFFF}, {1228, 0xFFFF}, {1232, 1236}, {1240, 56},
           {1244, 3},       {1248, 3}, {1260, 1},       {1280, 0},      {1284, 1},    {1288, 2}},
          {{29, 1}, {380, 1}, {752, 1}, {1124, 1}},
          {{120, "/a.mp3"}, {492, "/Music/\xC3\xA9.mp3"}, {864, "/Music/ST_FILE_1.mp3"}},
          {{424, 0x48EF3F1A992BB3C3}, {796, 0x12F56CFA0D72DFFD}, {1168, 0x255F7CA4FE8CFF94}}}},
        // An owner's database, as another writer lays it out: a volume limit (28), VoiceOver on
        // (29), two header bytes nobody knows (22, 50); songs "/Music/晴.mp3" with a start and
        // stop time, a volume, skipped when shuffling, its position remembered, album, spoken
        // name and artist ids; "/gone.mp3", no longer on the player; "/a.mp3"; "/Music/é.mp3", a
        // podcast with a bookmark. Playlists: the master, A (晴, gone, a and an entry that points
        // nowhere), C (gone alone), the podcasts B (é), last. 1840 bytes:
        // 64 + (20 + 4 * 4) + 372 * 4 + (20 + 4 * 4) + (44 + 4 * 4) * 2 + (44 + 4) * 2.
        // The run renames 晴 to ST_FILE_1.mp3 and finds the new song b.mp3. The new database:
        // 64 + (20 + 4 * 4) + 372 * 4 + (20 + 4 * 3) + (44 + 4 * 4) + (44 + 4 * 2) + (44 + 4) =
        // 1780 bytes; the header and the songs as the owner left them, b.mp3 a new song's, and
        // each song whose spoken name's id was 0 given its path's (as above), 晴 keeping its own;
        // 3 playlists: the master of every track in listing order (3 neither podcasts nor
        // audiobooks), A of ST_FILE_1 and a, its id and kind kept, B of é; C, left empty, gone.
        {"an owner's database",
         {1840,
          {{0, "bdhs"},
           {64, "hths"},
           {100, "rths"},
           {472, "rths"},
           {844, "rths"},
           {1216, "rths"},
           {1588, "hphs"},
           {1624, "lphs"},
           {1684, "lphs"},
           {1744, "lphs"},
           {1792, "lphs"}},
          {{4, 0x02000003}, {8, 64},        {12, 4},      {16, 4},      {32, 3},      {36, 64},
           {40, 1588},      {68, 36},       {72, 4},      {84, 100},    {88, 472},    {92, 844},
           {96, 1216},      {104, 372},     {108, 1000},  {112, 61000}, {116, 20},    {120, 1},
           {412, 7},        {436, 9},       {476, 372},   {480, 5},     {492, 1},     {848, 372},
           {864, 1},        {1220, 372},    {1236, 1},    {1496, 5000}, {1592, 36},   {1596, 4},
           {1600, 0x10003}, {1604, 0xFFFF}, {1608, 1624}, {1612, 1684}, {1616, 1744}, {1620, 1792},
           {1628, 60},      {1632, 4},      {1636, 3},    {1648, 1},    {1668, 0},    {1672, 1},
           {1676, 2},       {1680, 3},      {1688, 60},   {1692, 4},    {1696, 3},    {1708, 2},
           {1728, 0},       {1732, 1},      {1736, 2},    {1740, 99},   {1748, 48},   {1752, 1},
           {1756, 1},       {1768, 2},      {1788, 1},    {1796, 48},   {1800, 1},    {1816, 3},
           {1836, 3}},
          {{22, 7},      {28, 0x10},   {29, 1},     {50, 0x2A},  {385, 1},     {428, 0x11},
           {429, 0x12},  {430, 0x13},  {431, 0x14}, {432, 0x15}, {433, 0x16},  {434, 0x17},
           {435, 0x18},  {756, 1},     {1128, 1},   {1501, 1},   {1700, 0xA1}, {1707, 0xA8},
           {1760, 0xC1}, {1808, 0xB1}, {1815, 0xB8}},
          {{124, "/Music/\xE6\x99\xB4.mp3"},
           {496, "/gone.mp3"},
           {868, "/a.mp3"},
           {1240, "/Music/\xC3\xA9.mp3"}}},
         {u"E:\\a.mp3", u"E:\\b.mp3", u"E:\\Music\\\u00E9.mp3", u"E:\\Music\\\u6674.mp3",
          u"E:\\Music\\cover.jpg"},
         {1780,
          {{0, "bdhs"},
           {64, "hths"},
           {100, "rths"},
           {472, "rths"},
           {844, "rths"},
           {1216, "rths"},
           {1588, "hphs"},
           {1620, "lphs"},
           {1680, "lphs"},
           {1732, "lphs"}},
          {{4, 0x02000003}, {8, 64},      {12, 4},       {16, 3},      {32, 3},
           {36, 64},        {40, 1588},   {68, 36},      {72, 4},      {84, 100},
           {88, 472},       {92, 844},    {96, 1216},    {104, 372},   {120, 1},
           {476, 372},      {492, 1},     {848, 372},    {864, 1},     {1124, 5000},
           {1220, 372},     {1224, 1000}, {1228, 61000}, {1232, 20},   {1236, 1},
           {1528, 7},       {1552, 9},    {1592, 32},    {1596, 3},    {1600, 0x10002},
           {1604, 0xFFFF},  {1608, 1620}, {1612, 1680},  {1616, 1732}, {1624, 60},
           {1628, 4},       {1632, 3},    {1644, 1},     {1664, 0},    {1668, 1},
           {1672, 2},       {1676, 3},    {1684, 52},    {1688, 2},    {1692, 2},
           {1704, 2},       {1724, 3},    {1728, 0},     {1736, 48},   {1740, 1},
           {1744, 0},       {1756, 3},    {1776, 2}},
          {{22, 7},      {28, 0x10},   {29, 1},      {50, 0x2A},   {384, 1},
           {756, 1},     {1129, 1},    {1501, 1},    {1544, 0x11}, {1545, 0x12},
           {1546, 0x13}, {1547, 0x14}, {1548, 0x15}, {1549, 0x16}, {1550, 0x17},
           {1551, 0x18}, {1696, 0xA1}, {1703, 0xA8}, {1748, 0xB1}, {1755, 0xB8}},
          {{124, "/a.mp3"},
           {496, "/b.mp3"},
           {868, "/Music/\xC3\xA9.mp3"},
           {1240, "/Music/ST_FILE_1.mp3"}},
          {{428, 0x48EF3F1A992BB3C3}, {800, 0x6C8B36AF57EDA638}, {1172, 0x12F56CFA0D72DFFD}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFileSystem fs;
        fs.AddFile(kDb, c.old.Make());
        for (const auto& file : c.files)
            fs.AddFile(file);
        CSyncJob job(fs);
        FakeProbe probe(u"E:\\Zorbel.exe", true);
        job.CheckLocation(probe);
        ASSERT_EQ(job.Run(), RunOutcome::Done);
        const Bytes golden = c.golden.Make(), db = fs.Read(kDb);
        ASSERT_EQ(db.size(), golden.size());
        for (size_t i = 0; i < golden.size(); ++i)
            ASSERT_EQ(db[i], golden[i]) << "byte " << i;
        std::string why;
        EXPECT_TRUE(ParseDatabase(db, &why)) << why;
    }
}

// A record holds 255 bytes of UTF-8 (a surrogate pair takes 4, one alone 3): the track scan passes
// over a longer path, and the writer never cuts one inside a character.
TEST(LaterDatabase, PathsTheRecordHoldsWhole) {
    std::u16string pairs;
    for (int i = 0; i < 63; ++i)
        pairs += u"\U0001F3B5";
    const std::pair<std::u16string, bool> cases[] = {
        {u"/" + std::u16string(254, u'a'), true},
        {u"/" + std::u16string(255, u'a'), false},
        {u"/" + pairs + u"ab", true},
        {u"/" + pairs + u"abc", false},
        {u"/" + std::u16string(84, char16_t(0xD800)) + u"ab", true},
        {u"/" + std::u16string(85, char16_t(0xDC00)), false}};
    for (const auto& [path, fits] : cases) {
        EXPECT_EQ(FitsLaterRecord(path), fits) << Printable(path);
        PathList one;
        one.Append(path);
        Bytes db;
        auto append = [&db](const uint8_t* at, size_t n) {
            db.insert(db.end(), at, at + n);
            return true;
        };
        EncodeLaterDatabase(one, SinkTo(append));
        DatabaseContents back = DecodeDatabase(db.data(), db.size());
        auto parsed = ParseDatabase(db);
        ASSERT_TRUE(back.Intact() && parsed && back.paths == parsed->names) << Printable(path);
        EXPECT_EQ(back.paths[0] == path, fits);
        EXPECT_EQ(path.compare(0, back.paths[0].size(), back.paths[0]), 0);
    }
}

// The layout a run writes, read from the player, as a check predicts it: the database's tag
// decides; one too short to carry a tag leaves it to iTunesSD.new. The unreadable one is in use.
TEST(DatabaseFormat, ReadFromThePlayerAsACheckPredicts) {
    const Bytes later = {'b', 'd', 'h', 's'}, early(40, 0xA5), torn = {'b', 'd', 'h'};
    const Bytes* none = nullptr;
    const struct {
        const Bytes *database, *leftOver;
        DbFormat format;
    } cases[] = {{&early, none, DbFormat::Early},   {&later, none, DbFormat::Later},
                 {&torn, &later, DbFormat::Later},  {&torn, &early, DbFormat::Early},
                 {none, none, DbFormat::Early},     {none, &later, DbFormat::Later},
                 {&early, &later, DbFormat::Early}, {&later, none, DbFormat::Unreadable}};
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        MemoryFileSystem fs;
        fs.AddFolder(u"E:\\iPod_Control\\iTunes");
        if (c.database)
            fs.AddFile(kDb, *c.database);
        if (c.leftOver)
            fs.AddFile(kTemp, *c.leftOver);
        fs.SetLocked(kDb, c.format == DbFormat::Unreadable);
        CSyncJob job(fs);
        job.m_strDbPath = kDb;
        EXPECT_EQ(job.Database().ReadFormat(), c.format != DbFormat::Unreadable);
        EXPECT_EQ(job.Database().Format(), c.format);
        EXPECT_EQ(CheckPlayer(fs, u"E:", kDb, c.database).format, c.format);
    }
}

}  // namespace
