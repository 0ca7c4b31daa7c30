// The players' spoken names: a song's tags read from its file (one table: versions, encodings,
// hostile sizes), the sound's file, the ids, and a run's rules on a third or fourth generation
// player spoken through the test voice: which songs get a file, what is said, the VoiceOver
// switch, what is removed and what stays, a second run making nothing, no room.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "DatabaseFile.h"
#include "EngineFixture.h"
#include "ToneVoice.h"
#include "RunInvariants.h"
#include "base/Messages.h"
#include "base/Text.h"
#include "check/PlayerCheck.h"
#include "speech/SongTags.h"
#include "speech/SpokenNames.h"
#include "speech/SpokenWave.h"

namespace {

// --- Tags, built byte for byte as the versions lay them out.

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}
Bytes Str(const std::string& text) {
    return Bytes(text.begin(), text.end());
}
Bytes BigEndian(uint32_t value, int bytes) {
    Bytes out;
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return out;
}
Bytes SyncSafe(uint32_t value) {
    return {uint8_t(value >> 21 & 0x7F), uint8_t(value >> 14 & 0x7F), uint8_t(value >> 7 & 0x7F),
            uint8_t(value & 0x7F)};
}
Bytes Utf16(std::u16string_view text, bool big, bool bom) {
    Bytes out;
    if (bom)
        out = big ? Bytes{0xFE, 0xFF} : Bytes{0xFF, 0xFE};
    for (char16_t unit : text) {
        uint8_t hi = static_cast<uint8_t>(unit >> 8), lo = static_cast<uint8_t>(unit);
        out.insert(out.end(), big ? std::initializer_list<uint8_t>{hi, lo}
                                  : std::initializer_list<uint8_t>{lo, hi});
    }
    return out;
}

// A text frame's contents: its encoding, then the text.
Bytes Text(uint8_t encoding, const Bytes& text) {
    return Cat({{encoding}, text});
}
// A frame of the version: 2.2's three-letter ids and 3-byte sizes; 2.3's plain sizes; 2.4's
// seven bits a byte, unless `plainSize` (as some taggers wrote them).
Bytes Frame(int major, const char* id, const Bytes& data, uint8_t format = 0,
            bool plainSize = false, uint64_t claimed = UINT64_MAX) {
    const auto size = static_cast<uint32_t>(claimed == UINT64_MAX ? data.size() : claimed);
    if (major == 2)
        return Cat({Str(id), BigEndian(size, 3), data});
    return Cat({Str(id),
                major == 3 || plainSize ? BigEndian(size, 4) : SyncSafe(size),
                {0, format},
                data});
}
Bytes Tag(int major, const Bytes& frames, uint8_t flags = 0, size_t padding = 0,
          uint32_t claimed = 0) {
    Bytes body = Cat({frames, Bytes(padding, 0)});
    return Cat({Str("ID3"),
                {uint8_t(major), 0, flags},
                SyncSafe(claimed ? claimed : static_cast<uint32_t>(body.size())),
                body});
}
// An ID3v1 tag: title and artist, 30 bytes each, after some audio.
Bytes V1(const Bytes& title, const Bytes& artist) {
    Bytes tag = Str("TAG");
    Bytes t = title, a = artist;
    t.resize(30, 0);
    a.resize(30, 0);
    return Cat({Bytes(200, 0xAA), tag, t, a, Bytes(128 - 63, 0)});
}
// Unsynchronised as the scheme asks: a 0x00 after each 0xFF.
Bytes Unsync(const Bytes& bytes) {
    Bytes out;
    for (uint8_t b : bytes) {
        out.push_back(b);
        if (b == 0xFF)
            out.push_back(0);
    }
    return out;
}

const std::u16string kQingTian = u"晴天", kJay = u"周杰伦";
const Bytes kQingTianUtf8 = Str("\xE6\x99\xB4\xE5\xA4\xA9"),
            kJayUtf8 = Str("\xE5\x91\xA8\xE6\x9D\xB0\xE4\xBC\xA6");
const Bytes kQingTianGbk = {0xC7, 0xE7, 0xCC, 0xEC};  // 晴天 in GBK, stored as if Latin-1

// The file's bytes, then zeros up to its claimed size; every read counted.
class CountingSource : public ITagSource {
public:
    CountingSource(const Bytes& bytes, uint64_t size) : m_bytes(bytes), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    size_t ReadAt(uint64_t offset, uint8_t* out, size_t size) override {
        ++reads;
        if (offset >= m_size)
            return 0;
        size_t n = static_cast<size_t>(std::min<uint64_t>(size, m_size - offset));
        for (size_t i = 0; i < n; ++i)
            out[i] = offset + i < m_bytes.size() ? m_bytes[offset + i] : 0;
        read += n;
        return n;
    }
    size_t reads = 0, read = 0;

private:
    const Bytes& m_bytes;
    uint64_t m_size;
};

TEST(SongTags, EachVersionEncodingAndHostileSize) {
    const Bytes yesterday = Text(0, Str("Yesterday")), beatles = Text(0, Str("The Beatles"));
    // 100,000 frames of nothing before the title: the walk gives up long before it.
    Bytes tiny;
    for (int i = 0; i < 100000; ++i) {
        Bytes frame = Frame(3, "TXXX", {0});
        tiny.insert(tiny.end(), frame.begin(), frame.end());
    }
    const Bytes longTitle(300, 'x');
    const struct {
        const char* name;
        Bytes bytes;
        std::u16string title, artist;
        uint64_t claimed = 0;         // the file's size, zeros past the bytes; 0: the bytes'
        size_t mostRead = 64 * 1024;  // the bytes any row may read at most
    } cases[] = {
        {"2.3 Latin-1", Tag(3, Cat({Frame(3, "TIT2", yesterday), Frame(3, "TPE1", beatles)})),
         u"Yesterday", u"The Beatles"},
        {"2.3 UTF-16, little-endian mark",
         Tag(3, Cat({Frame(3, "TIT2", Text(1, Utf16(kQingTian, false, true))),
                     Frame(3, "TPE1", Text(1, Utf16(kJay, false, true)))})),
         kQingTian, kJay},
        {"2.3 UTF-16, big-endian mark",
         Tag(3, Frame(3, "TIT2", Text(1, Utf16(kQingTian, true, true)))), kQingTian, u""},
        {"2.3 UTF-16 without a mark: little-endian",
         Tag(3, Frame(3, "TIT2", Text(1, Utf16(kQingTian, false, false)))), kQingTian, u""},
        {"2.4 UTF-8",
         Tag(4,
             Cat({Frame(4, "TIT2", Text(3, kQingTianUtf8)), Frame(4, "TPE1", Text(3, kJayUtf8))})),
         kQingTian, kJay},
        {"2.4 UTF-16 big-endian", Tag(4, Frame(4, "TPE1", Text(2, Utf16(kJay, true, false)))), u"",
         kJay},
        {"2.4 several values: the first",
         Tag(4, Frame(4, "TPE1", Text(3, Cat({kJayUtf8, {0}, Str("Jay Chou")})))), u"", kJay},
        {"2.4 sizes written as plain numbers",
         Tag(4, Cat({Frame(4, "COMM", Bytes(200, 'c'), 0, true),
                     Frame(4, "TIT2", yesterday, 0, true)})),
         u"Yesterday", u""},
        {"2.2 three-letter frames",
         Tag(2, Cat({Frame(2, "TT2", yesterday), Frame(2, "TP1", beatles)})), u"Yesterday",
         u"The Beatles"},
        {"2.2 compressed: no scheme for it", Tag(2, Frame(2, "TT2", yesterday), 0x40), u"", u""},
        {"2.3 unsynchronised whole",
         Tag(3, Unsync(Frame(3, "TIT2", Text(0, {'y', 0xFF, 0xFF, 'y'}))), 0x80), u"y\u00FF\u00FFy",
         u""},
        {"2.4 a frame unsynchronised, with its length given",
         Tag(4, Frame(4, "TIT2",
                      Cat({BigEndian(7, 4), Unsync(Text(0, {'y', 0xFF, 0xE0, 'y', 'z', 'w'}))}),
                      0x03)),
         u"y\u00FF\u00E0yzw", u""},
        {"2.3 extended header",
         Tag(3, Cat({BigEndian(6, 4), Bytes(6, 0), Frame(3, "TIT2", yesterday)}), 0x40),
         u"Yesterday", u""},
        {"2.4 extended header",
         Tag(4, Cat({SyncSafe(6), {1, 0}, Frame(4, "TIT2", yesterday)}), 0x40), u"Yesterday", u""},
        {"2.3 grouped frame", Tag(3, Frame(3, "TIT2", Cat({{7}, yesterday}), 0x20)), u"Yesterday",
         u""},
        {"2.3 compressed and encrypted frames passed over",
         Cat({Tag(3, Cat({Frame(3, "TIT2", yesterday, 0x80), Frame(3, "TPE1", beatles, 0x40)})),
              V1(Str("Help"), Str("Lennon"))}),
         u"Help", u"Lennon"},
        {"padding ends the frames", Tag(3, Frame(3, "TIT2", yesterday), 0, 64), u"Yesterday", u""},
        {"1 alone", V1(Str("Let It Be"), Str("The Beatles")), u"Let It Be", u"The Beatles"},
        {"2 without an artist, 1 gives it",
         Cat({Tag(3, Frame(3, "TIT2", Text(1, Utf16(kQingTian, false, true)))),
              V1(Str("x"), Str("Jay"))}),
         kQingTian, u"Jay"},
        {"GBK stored as Latin-1 is no name",
         Cat({Tag(3, Frame(3, "TIT2", Text(0, kQingTianGbk))), V1(kQingTianGbk, {})}), u"", u""},
        {"accented Latin-1 stays",
         Tag(3,
             Frame(3, "TPE1", Text(0, {'M', 0xF6, 't', 'l', 'e', 'y', ' ', 'C', 'r', 0xFC, 'e'}))),
         u"", u"M\u00F6tley Cr\u00FCe"},
        {"UTF-8 that is not UTF-8 is no name", Tag(4, Frame(4, "TIT2", Text(3, kQingTianGbk))), u"",
         u""},
        {"control characters and spaces",
         Tag(3, Frame(3, "TIT2", Text(0, Str("  Yes\tter\nday \x01")))), u"Yes ter day", u""},
        {"a title cut at 120 units", Tag(3, Frame(3, "TIT2", Text(0, longTitle))),
         std::u16string(120, u'x'), u""},
        {"a surrogate pair is never cut in two",
         Tag(3, Frame(3, "TIT2",
                      Text(1, Utf16(std::u16string(119, u'a') + u"\U0001F3B5", false, true)))),
         std::u16string(119, u'a'), u""},
        {"version 5 is not known", Cat({Tag(5, Frame(3, "TIT2", yesterday)), V1(Str("Help"), {})}),
         u"Help", u""},
        {"no tag", Bytes(500, 0x55), u"", u""},
        {"empty file", {}, u"", u""},
        {"a tag's size past the file: what lies inside it is read",
         Tag(3, Frame(3, "TIT2", yesterday), 0, 0, 100000), u"Yesterday", u""},
        {"a title frame past the file", Tag(3, Frame(3, "TIT2", yesterday, 0, false, 5000)), u"",
         u""},
        {"a frame of 2 GB",
         Cat({Tag(3, Frame(3, "TIT2", yesterday, 0, false, 0x7FFFFFFF)), V1(Str("Help"), {})}),
         u"Help", u""},
        // A tag of 64 MiB and more whose title takes 64 MiB: passed over unread, the artist after
        // it read. The file is 100 MB, zeros past the frames' heads.
        {"a 64 MiB title",
         Cat({Str("ID3"),
              {3, 0, 0},
              SyncSafe(0x4100000),
              Frame(3, "TIT2", {}, 0, false, 64u << 20)}),
         u"", u"", 100u << 20},
        {"100,000 frames before the title", Tag(3, Cat({tiny, Frame(3, "TIT2", yesterday)})), u"",
         u"", 0, 16 * 1024},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CountingSource source(c.bytes, c.claimed ? c.claimed : c.bytes.size());
        SongTags tags = ReadSongTags(source);
        EXPECT_EQ(Printable(tags.title), Printable(c.title));
        EXPECT_EQ(Printable(tags.artist), Printable(c.artist));
        EXPECT_LE(source.read, c.mostRead);
        EXPECT_LE(source.reads, 600u);
    }
    // The 64 MiB title's artist behind it is found, reading only frame heads and the artist.
    Bytes head = Cat(
        {Str("ID3"), {3, 0, 0}, SyncSafe(0x4100000), Frame(3, "TIT2", {}, 0, false, 64u << 20)});
    Bytes big(head.size() + (64u << 20), 0);
    std::copy(head.begin(), head.end(), big.begin());
    Bytes artist = Frame(3, "TPE1", beatles);
    big.insert(big.end(), artist.begin(), artist.end());
    CountingSource source(big, big.size());
    EXPECT_EQ(ReadSongTags(source).artist, u"The Beatles");
    EXPECT_LE(source.read, 256u);  // frame heads, the artist, and the end for a version 1 title
}

// --- The sound's file.

TEST(SpokenWave, WrittenReadBackAndKnownAsZorbels) {
    SpokenSound sound;
    sound.rate = 22050;
    sound.samples = {0, 1, -1, 32767, -32768};
    Bytes bytes = SpokenWaveBytes(sound);
    ASSERT_EQ(bytes.size(), SpokenWaveSize(5));
    EXPECT_EQ(bytes.size(), 44u + 10 + 28);
    // RIFF, its length, WAVE, fmt of 16 bytes: PCM, mono, 22050 Hz, 44100 bytes a second, 2 bytes
    // a sample of 16 bits; data of 10 bytes.
    const Bytes head = Cat({Str("RIFF"),
                            {74, 0, 0, 0},
                            Str("WAVEfmt "),
                            {16, 0, 0, 0, 1, 0, 1, 0},
                            {0x22, 0x56, 0, 0, 0x44, 0xAC, 0, 0, 2, 0, 16, 0},
                            Str("data"),
                            {10, 0, 0, 0},
                            {0, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0x80}});
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 54), head);
    EXPECT_TRUE(IsZorbelWave(bytes.data(), &bytes[bytes.size() - kWaveMarkSize], bytes.size()));
    SpokenSound back;
    ASSERT_TRUE(ReadSpokenWave(bytes.data(), bytes.size(), back));
    EXPECT_EQ(back.rate, 22050u);
    EXPECT_EQ(back.samples, sound.samples);

    // Another program's file is never taken for Zorbel's: no mark, or lengths that do not fit.
    Bytes plain(bytes.begin(), bytes.end() - kWaveMarkSize);
    plain[4] -= kWaveMarkSize;
    EXPECT_FALSE(IsZorbelWave(plain.data(), &plain[plain.size() - kWaveMarkSize], plain.size()));
    Bytes longer = bytes;
    longer.insert(longer.end() - kWaveMarkSize, {0, 0});
    EXPECT_FALSE(
        IsZorbelWave(longer.data(), &longer[longer.size() - kWaveMarkSize], longer.size()));

    // A stream's header, lengths unknown, as a voice program writes to a pipe: the samples run to
    // the end. Stereo, 8 bits or another coding is no spoken name.
    Bytes stream = Cat({Bytes(head.begin(), head.begin() + 44), {5, 0, 6, 0}});
    std::fill(stream.begin() + 4, stream.begin() + 8, 0xFF);
    std::fill(stream.begin() + 40, stream.begin() + 44, 0xFF);
    ASSERT_TRUE(ReadSpokenWave(stream.data(), stream.size(), back));
    EXPECT_EQ(back.samples, (std::vector<int16_t>{5, 6}));
    for (size_t at : {20u, 22u, 34u}) {
        Bytes odd = stream;
        odd[at] = 2;
        EXPECT_FALSE(ReadSpokenWave(odd.data(), odd.size(), back)) << at;
    }
}

// --- Ids and names.

TEST(SpokenNames, IdsFileNamesAndLanguages) {
    EXPECT_EQ(PathSpokenId(u"/a.mp3"), 0x48EF3F1A992BB3C3u);
    EXPECT_EQ(PathSpokenId(u"/A.MP3"), PathSpokenId(u"/a.mp3"));
    EXPECT_NE(PathSpokenId(u"/b.mp3"), PathSpokenId(u"/a.mp3"));
    EXPECT_EQ(SpokenFileName(0x48EF3F1A992BB3C3u), u"48EF3F1A992BB3C3.wav");
    EXPECT_EQ(SpokenFileName(1), u"0000000000000001.wav");
    uint64_t id = 0;
    EXPECT_TRUE(SpokenFileId(u"48ef3f1a992bb3c3.WAV", id));
    EXPECT_EQ(id, 0x48EF3F1A992BB3C3u);
    for (const char16_t* other : {u"48EF3F1A992BB3C.wav", u"48EF3F1A992BB3CG.wav",
                                  u"48EF3F1A992BB3C3.mp3", u"speaking.new", u"48EF3F1A992BB3C3wav"})
        EXPECT_FALSE(SpokenFileId(other, id)) << Printable(other);
    EXPECT_EQ(NameLanguage(u"晴天, Jay"), SpokenLanguage::Chinese);
    EXPECT_EQ(NameLanguage(u"\U00020000"), SpokenLanguage::Chinese);  // beyond the first plane
    EXPECT_EQ(NameLanguage(u"さくら, Café"), SpokenLanguage::English);
    EXPECT_EQ(SpokenText(u"晴天", u"周杰伦", u"x"), u"晴天, 周杰伦");
    EXPECT_EQ(SpokenText(u"", u"周杰伦", u"晴天"), u"晴天, 周杰伦");
    EXPECT_EQ(SpokenText(u"", u"", u"晴天"), u"晴天");
    // Renamed inside a folder renamed after it: found by the path it has once both are done.
    auto renamed = RenamedFrom({{u"E:\\歌\\晴天.mp3", u"E:\\歌\\ST_FILE_1.mp3"}},
                               {{u"E:\\歌", u"E:\\ST_DIR_1"}});
    ASSERT_EQ(renamed.size(), 1u);
    EXPECT_EQ(renamed.begin()->first, u"e:\\st_dir_1\\st_file_1.mp3");
    EXPECT_EQ(renamed.begin()->second, u"晴天.mp3");
}

// --- A run on a later generation's player.

const std::u16string kTracks = u"E:\\iPod_Control\\Speakable\\Tracks";

uint64_t RecordId(const Bytes& record) {
    uint64_t id = 0;
    for (int i = 7; i >= 0; --i)
        id = id << 8 | record[328 + i];
    return id;
}

struct SpokenRun : EngineFixture {
    SpokenRun() {
        job.SetVoice(&voice);
        fs.AddFile(u"E:\\晴天.mp3",
                   Tag(3, Cat({Frame(3, "TIT2", Text(1, Utf16(kQingTian, false, true))),
                               Frame(3, "TPE1", Text(1, Utf16(kJay, false, true)))})));
        fs.AddFile(u"E:\\Music\\yesterday.mp3",
                   Tag(4, Frame(4, "TIT2", Text(3, Str("Yesterday")))));
        fs.AddFile(u"E:\\Music\\七里香.mp3", ContentOf(u"no tag"));
    }
    RunOutcome RunAgain() {
        CSyncJob again(fs);
        again.SetVoice(&voice);
        again.SetStatusLabel(&label);
        FakeProbe probe(u"E:\\Zorbel.exe", true);
        again.CheckLocation(probe);
        RunOutcome outcome = again.Run();
        speech = again.Speech();
        return outcome;
    }
    // A player whose database lists no songs yet, unless the test gave it one.
    void GiveDatabase(const Bytes& bytes) { fs.AddFile(kDb, bytes); }
    RunOutcome RunOnce() {
        if (!fs.HasFile(kDb))
            GiveDatabase(Str("bdhs"));
        FakeProbe probe(u"E:\\Zorbel.exe", true);
        job.CheckLocation(probe);
        RunOutcome outcome = job.Run();
        speech = job.Speech();
        return outcome;
    }
    ParsedDatabase Database() {
        auto db = ParseDatabase(fs.Read(kDb));
        EXPECT_TRUE(db);
        return db ? *db : ParsedDatabase{};
    }
    // Each listed song's id, and whether its spoken file is there, whole and Zorbel's.
    std::vector<uint64_t> SpokenIds() {
        std::vector<uint64_t> ids;
        for (const auto& record : Database().records) {
            ids.push_back(RecordId(record));
            Bytes wave = fs.Read(JoinPath(kTracks, SpokenFileName(ids.back())));
            EXPECT_TRUE(wave.size() > kWaveMarkSize &&
                        IsZorbelWave(wave.data(), &wave[wave.size() - kWaveMarkSize], wave.size()))
                << std::hex << ids.back();
        }
        return ids;
    }
    ToneVoice voice;
    SpeechOutcome speech;
};

TEST_F(SpokenRun, FirstRunSpeaksEverySongAndTurnsVoiceOverOn) {
    ASSERT_EQ(RunOnce(), RunOutcome::Done);
    EXPECT_EQ(label.text, kMsgDone);
    ParsedDatabase db = Database();
    EXPECT_EQ(db.names, (std::vector<std::u16string>{u"/ST_FILE_1.mp3", u"/Music/yesterday.mp3",
                                                     u"/Music/ST_FILE_1.mp3"}));
    EXPECT_EQ(db.header[29], 1);  // turned on: the player listed no songs
    std::vector<uint64_t> ids = SpokenIds();
    EXPECT_EQ(ids, (std::vector<uint64_t>{PathSpokenId(u"/ST_FILE_1.mp3"),
                                          PathSpokenId(u"/Music/yesterday.mp3"),
                                          PathSpokenId(u"/Music/ST_FILE_1.mp3")}));
    // The tags, else the name the song had before the run renamed it.
    using Said = std::pair<std::u16string, SpokenLanguage>;
    EXPECT_EQ(voice.said, (std::vector<Said>{{u"晴天, 周杰伦", SpokenLanguage::Chinese},
                                             {u"Yesterday", SpokenLanguage::English},
                                             {u"七里香", SpokenLanguage::Chinese}}));
    // The sound as the voice gave it, 40 samples a unit.
    Bytes wave = fs.Read(JoinPath(kTracks, SpokenFileName(ids[1])));
    SpokenSound sound;
    ASSERT_TRUE(ReadSpokenWave(wave.data(), wave.size(), sound));
    EXPECT_EQ(sound.rate, 22050u);
    EXPECT_EQ(sound.samples.size(), 9 * ToneVoice::kSamplesPerUnit);
    EXPECT_EQ(speech.spoken, 3u);
    uint64_t written = 0;
    for (uint64_t id : ids)
        written += fs.Read(JoinPath(kTracks, SpokenFileName(id))).size();
    EXPECT_EQ(speech.written, written);
    EXPECT_TRUE(speech.turnedOn);
    EXPECT_EQ(fs.Names(kTracks).size(), 3u);  // nothing else left there
    // The progress counts the names, and shows each.
    EXPECT_EQ(label.phase, RunPhase::Speaking);
    EXPECT_EQ(label.count, 3u);
    EXPECT_EQ(TextsStarting(u"Speak: ").size(), 3u);

    // A second run makes nothing, and writes the same database.
    const Bytes first = fs.Read(kDb);
    const auto before = fs.Snapshot().size();
    voice.said.clear();
    ASSERT_EQ(RunAgain(), RunOutcome::Done);
    EXPECT_TRUE(voice.said.empty());
    EXPECT_EQ(fs.Read(kDb), first);
    EXPECT_EQ(fs.Snapshot().size(), before);
    EXPECT_EQ(speech.had, 3u);
    EXPECT_EQ(speech.spoken, 0u);
    EXPECT_FALSE(speech.turnedOn);
    EXPECT_EQ(label.text, kMsgDone);
}

// The owner's database listing songs decides: VoiceOver off stays off, and nothing is spoken.
TEST_F(SpokenRun, OwnersVoiceOverOffSpeaksNone) {
    LaterContents owner;
    owner.tracks.emplace_back("/Music/yesterday.mp3", Bytes(372));
    GiveDatabase(LayOutLater(owner));
    ASSERT_EQ(RunOnce(), RunOutcome::Done);
    EXPECT_EQ(label.text, kMsgDoneVoiceOverOff);
    EXPECT_TRUE(voice.said.empty());
    EXPECT_FALSE(fs.HasFolder(u"E:\\iPod_Control\\Speakable"));
    ParsedDatabase db = Database();
    EXPECT_EQ(db.header[29], 0);
    // Every song still has its id, for the day the owner turns VoiceOver on.
    for (const auto& record : db.records)
        EXPECT_NE(RecordId(record), 0u);
    EXPECT_TRUE(speech.voiceOverOff);
}

// An owner's song keeps its id and its spoken file (the player's own software made it); a song
// whose id was 0, or another's, gets its path's; files of songs gone are removed only when they
// are Zorbel's; Messages and System are never touched.
TEST_F(SpokenRun, OwnersFilesStayAndZorbelsOrphansGo) {
    LaterContents owner;
    owner.header[29] = 1;
    Bytes record(372);
    for (int i = 0; i < 8; ++i)
        record[328 + i] = static_cast<uint8_t>(0x11 + i);
    owner.tracks.emplace_back("/Music/yesterday.mp3", record);
    owner.tracks.emplace_back("/\xE6\x99\xB4\xE5\xA4\xA9.mp3", record);  // the same id: taken
    // A song gone, its spoken name Zorbel's under the id its path gave; the run gives its freed
    // name to 七里香, which must say its own name, not the gone song's.
    const uint64_t goneId = PathSpokenId(u"/Music/ST_FILE_1.mp3");
    Bytes gone(372);
    for (int i = 0; i < 8; ++i)
        gone[328 + i] = static_cast<uint8_t>(goneId >> 8 * i);
    owner.tracks.emplace_back("/Music/ST_FILE_1.mp3", gone);
    GiveDatabase(LayOutLater(owner));
    const uint64_t ownersId = 0x1817161514131211u;
    const Bytes ownersWave = Str("RIFF, the owner's software's");
    fs.AddFile(JoinPath(kTracks, SpokenFileName(ownersId)), ownersWave);
    SpokenSound tone;
    tone.rate = 16000;
    tone.samples.assign(100, 7);
    const auto zorbelsOrphan = JoinPath(kTracks, SpokenFileName(goneId));
    const auto ownersOrphan = JoinPath(kTracks, u"0123456789ABCDEF.wav");
    fs.AddFile(zorbelsOrphan, SpokenWaveBytes(tone));
    fs.AddFile(ownersOrphan, Bytes(SpokenWaveBytes(tone).size() - kWaveMarkSize, 1));
    fs.AddFile(JoinPath(kTracks, u"speaking.new"), Bytes(10, 0));  // a cut mid-write left it
    fs.AddFile(u"E:\\iPod_Control\\Speakable\\Messages\\dbsm-1.wav", Bytes(9, 2));
    fs.AddFile(u"E:\\iPod_Control\\Speakable\\System\\0000000000000000.wav", Bytes(9, 3));
    fs.AddFile(u"E:\\iPod_Control\\Speakable\\Playlists\\2122232425262728.wav", Bytes(9, 4));
    ASSERT_EQ(RunOnce(), RunOutcome::Done);
    EXPECT_EQ(label.text, kMsgDone);
    std::vector<uint64_t> ids;
    for (const auto& r : Database().records)
        ids.push_back(RecordId(r));
    // Listed: 晴天 renamed (ST_FILE_1), keeping the owner's id, yesterday, whose id 晴天 took
    // first, and 七里香 renamed into the gone song's name, with an id of its own.
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(ids[0], ownersId);
    EXPECT_EQ(ids[1], PathSpokenId(u"/Music/yesterday.mp3"));
    EXPECT_NE(ids[2], goneId);
    EXPECT_NE(ids[2], 0u);
    EXPECT_EQ(fs.Read(JoinPath(kTracks, SpokenFileName(ownersId))), ownersWave);
    EXPECT_FALSE(fs.HasFile(zorbelsOrphan));
    EXPECT_TRUE(fs.HasFile(ownersOrphan));
    EXPECT_FALSE(fs.HasFile(JoinPath(kTracks, u"speaking.new")));
    EXPECT_EQ(fs.Read(u"E:\\iPod_Control\\Speakable\\Messages\\dbsm-1.wav"), Bytes(9, 2));
    EXPECT_EQ(fs.Read(u"E:\\iPod_Control\\Speakable\\System\\0000000000000000.wav"), Bytes(9, 3));
    EXPECT_TRUE(fs.HasFile(u"E:\\iPod_Control\\Speakable\\Playlists\\2122232425262728.wav"));
    EXPECT_EQ(speech.had, 1u);
    EXPECT_EQ(speech.spoken, 2u);
    EXPECT_EQ(speech.removed, 1u);
    EXPECT_EQ(speech.renewed, 1u);
    EXPECT_EQ(Database().header[29], 1);
    EXPECT_FALSE(speech.turnedOn);  // the owner's, already on
}

// Where no voice speaks a name's language, that song gets no file and the run still ends well,
// saying how many and why, once; the voice is asked once a language.
TEST_F(SpokenRun, NoVoiceForALanguage) {
    voice.chinese = false;
    ASSERT_EQ(RunOnce(), RunOutcome::Done);
    EXPECT_EQ(label.text, FormatNumber(kMsgDoneNoChineseVoice, 2));
    EXPECT_EQ(speech.spoken, 1u);
    EXPECT_EQ(speech.Count(Unspoken::NoChineseVoice), 2u);
    EXPECT_EQ(voice.said.size(), 2u);  // 晴天 (none), Yesterday; 七里香 not asked again
    EXPECT_EQ(fs.Names(kTracks).size(), 1u);
    EXPECT_TRUE(ParseDatabase(fs.Read(kDb)));
}

TEST_F(SpokenRun, NoSynthesiserAtAll) {
    voice.available = false;
    ASSERT_EQ(RunOnce(), RunOutcome::Done);
    EXPECT_EQ(label.text, FormatNumber(kMsgDoneNoSynthesiser, 3));
    EXPECT_TRUE(voice.said.empty());
    EXPECT_EQ(Database().header[29], 1);  // on, for a run that can speak
}

TEST_F(SpokenRun, ANameTheVoiceCannotSay) {
    voice.failOn = u"Yesterday";
    ASSERT_EQ(RunOnce(), RunOutcome::Done);
    EXPECT_EQ(label.text, FormatNumber(kMsgDoneVoiceFailed, 1));
    EXPECT_EQ(speech.spoken, 2u);
}

// A run that would fill the player speaks none and says so; the database is written all the same,
// and the room a next run's database needs is never taken.
TEST_F(SpokenRun, NoRoomSpeaksNone) {
    GiveDatabase(Str("bdhs"));
    // Room for the database, but the names would leave less than a next run's database needs.
    fs.capacity = fs.UsedBytes() + (1 << 20) + 100 * 1024;
    ASSERT_EQ(RunOnce(), RunOutcome::Done);
    EXPECT_EQ(label.text, FormatNumber(kMsgDoneNoRoom, 3));
    EXPECT_TRUE(voice.said.empty());
    EXPECT_FALSE(fs.HasFolder(kTracks));
    EXPECT_EQ(Database().names.size(), 3u);
    EXPECT_GT(speech.needed, 0u);
    EXPECT_GT(speech.free, 0u);
}

// The medium failing while a name is written: the database is in place, nothing torn stays, and
// the rest wait for a next run.
TEST_F(SpokenRun, AFailedWriteStopsTheSpeaking) {
    fs.failWhen = [](FsOp op, const std::u16string& path) {
        return op == FsOp::Flush && path.find(u"speaking.new") != std::u16string::npos;
    };
    ASSERT_EQ(RunOnce(), RunOutcome::Done);
    EXPECT_EQ(label.text, FormatNumber(kMsgDoneWriteFailed, 3));
    EXPECT_EQ(speech.systemError, fs.failError);
    EXPECT_TRUE(fs.Names(kTracks).empty());
    EXPECT_EQ(Database().names.size(), 3u);
}

// A stop asked while names are spoken leaves the rest for a next run.
TEST_F(SpokenRun, AStopLeavesTheRest) {
    struct StoppingVoice : ToneVoice {
        VoiceResult Speak(std::u16string_view text, SpokenLanguage language,
                          SpokenSound& out) override {
            job->RequestStop();
            return ToneVoice::Speak(text, language, out);
        }
        CSyncJob* job = nullptr;
    } stopping;
    stopping.job = &job;
    job.SetVoice(&stopping);
    ASSERT_EQ(RunOnce(), RunOutcome::Done);
    EXPECT_EQ(speech.spoken, 1u);
    EXPECT_EQ(speech.Count(Unspoken::Stopped), 2u);
    EXPECT_EQ(label.text, FormatNumber(kMsgDoneStopped, 2));
}

// The first two generations have no spoken names: nothing of them is touched or asked.
TEST_F(SpokenRun, EarlyPlayersAreUntouched) {
    GiveDatabase(Bytes(5, 0xEE));
    ASSERT_EQ(RunOnce(), RunOutcome::Done);
    EXPECT_EQ(label.text, kMsgDone);
    EXPECT_TRUE(voice.said.empty());
    EXPECT_FALSE(fs.HasFolder(u"E:\\iPod_Control\\Speakable"));
    auto db = ParseDatabase(fs.Read(kDb));
    ASSERT_TRUE(db);
    EXPECT_FALSE(db->later);
    EXPECT_FALSE(speech.later);
}

// What zorbel --check says: the names a run would speak and the room they take, nothing changed;
// after the run, none.
TEST_F(SpokenRun, CheckForeseesTheNames) {
    GiveDatabase(Str("bdhs"));
    const auto before = fs.Snapshot().size();
    Bytes db = fs.Read(kDb);
    PlayerCheck check = CheckPlayer(fs, u"E:", kDb, &db);
    EXPECT_EQ(fs.Snapshot().size(), before);
    EXPECT_TRUE(check.speech.later);
    EXPECT_EQ(check.speech.toSpeak, 3u);
    EXPECT_GT(check.speech.needed, 0u);
    EXPECT_TRUE(check.speech.turnedOn);
    EXPECT_FALSE(check.UpToDate());
    ASSERT_EQ(RunOnce(), RunOutcome::Done);
    db = fs.Read(kDb);
    check = CheckPlayer(fs, u"E:", kDb, &db);
    EXPECT_EQ(check.speech.toSpeak, 0u);
    EXPECT_EQ(check.speech.had, 3u);
    EXPECT_TRUE(check.UpToDate());
}

}  // namespace
