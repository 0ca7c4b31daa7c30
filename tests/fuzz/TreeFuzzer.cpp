// libFuzzer target: decodes the input into a player's folder tree (odd UTF-16 names, deep
// nesting, locked items, short writes, a full medium, one failing operation, either generations'
// database, a record of renames an earlier run left or bytes that only start like one, Windows'
// renaming, songs' tags), runs the four steps of a sync and a later generation's spoken names,
// and traps when the run leaves the player in a state no run may leave, or when the look that
// changes nothing (zorbel --check) predicted another run.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "database/Database.h"
#include "MemoryFileSystem.h"
#include "base/Messages.h"
#include "check/PlayerCheck.h"
#include "record/RenameRecord.h"
#include "RecordingStatusLabel.h"
#include "RunInvariants.h"
#include "ToneVoice.h"
#include "run/SyncJob.h"
#include "base/Text.h"

namespace {

const std::u16string kDb = u"E:\\iPod_Control\\iTunes\\iTunesSD";
// Every linked folder's name holds this unit and no other name does, so a listing of a link
// shows wherever the renaming has moved it.
constexpr char16_t kLinkMark = 0x21AA;

// Units that sit on the edges the engine decides on: the Latin-1 limit, surrogates, dots, the
// letters of "mp3" and of the new names.
const char16_t kUnits[] = {u'a',   u'M',   u'p',   u'3',   u'.',   u' ',   u'S',   u'T',
                           u'_',   u'1',   0x007F, 0x0080, 0x00E9, 0x00FF, 0x0100, 0x4E2D,
                           0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xFFFF, 0xFF4D};

std::u16string DecodeName(FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange(0, 7) == 0) {  // a name an earlier run gave, to collide with
        std::u16string name = in.ConsumeBool() ? u"ST_FILE_" : u"ST_DIR_";
        name += static_cast<char16_t>(u'1' + in.ConsumeIntegralInRange(0, 3));
        if (name[3] == u'F')
            name += in.ConsumeBool() ? u".mp3" : u".MP3";
        return name;
    }
    size_t length = in.ConsumeBool() ? in.ConsumeIntegralInRange<size_t>(1, 300)
                                     : in.ConsumeIntegralInRange<size_t>(1, 8);
    std::u16string name;
    for (size_t i = 0; i < length && in.remaining_bytes(); ++i)
        name.push_back(in.ConsumeBool()
                           ? kUnits[in.ConsumeIntegralInRange<size_t>(0, std::size(kUnits) - 1)]
                           : in.ConsumeIntegral<char16_t>());
    if (in.ConsumeBool()) {  // a track name, in any letter case
        unsigned upper = in.ConsumeIntegralInRange(0, 7);
        name += upper & 1 ? u'M' : u'm';
        name += upper & 2 ? u'P' : u'p';
        name += u'3';
    }
    return name;
}

// Tags a later generation's run reads for its spoken names, from the input: the head of an ID3v2
// tag (any version, flags and size) and its frames' bytes, or an ID3v1 tag at the end.
Bytes Tagged(FuzzedDataProvider& in, Bytes bytes) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: {
            Bytes tag = {'I',
                         'D',
                         '3',
                         in.ConsumeIntegralInRange<uint8_t>(2, 5),
                         in.ConsumeIntegral<uint8_t>(),
                         in.ConsumeIntegral<uint8_t>()};
            for (int i = 0; i < 4; ++i)  // seven bits a byte, or any byte
                tag.push_back(in.ConsumeBool() ? in.ConsumeIntegral<uint8_t>()
                                               : in.ConsumeIntegralInRange<uint8_t>(0, 0x7F));
            auto frames = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 300));
            tag.insert(tag.end(), frames.begin(), frames.end());
            bytes.insert(bytes.begin(), tag.begin(), tag.end());
            break;
        }
        case 1: {
            bytes.insert(bytes.end(), {'T', 'A', 'G'});
            auto v1 = in.ConsumeBytes<uint8_t>(125);
            bytes.insert(bytes.end(), v1.begin(), v1.end());
            break;
        }
        default:
            break;
    }
    return bytes;
}

// Bytes no other file has: the file's number, then a few from the input; maybe tagged.
Bytes Content(FuzzedDataProvider& in, uint32_t number) {
    Bytes bytes = {uint8_t(number), uint8_t(number >> 8), uint8_t(number >> 16), 0xF1};
    auto more = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 16));
    bytes.insert(bytes.end(), more.begin(), more.end());
    return Tagged(in, bytes);
}

bool Usable(const std::u16string& name) {
    if (name.empty() || IsDotEntry(name) || name.find(kLinkMark) != std::u16string::npos)
        return false;
    for (char16_t unit : name)
        if (unit == u'\\' || unit == 0)
            return false;
    return true;
}

// The program in the root folder of a removable drive.
class PlayerProbe : public ILocationProbe {
public:
    explicit PlayerProbe(const std::u16string& root) : m_path(root + u"\\Zorbel.exe") {}
    std::u16string ProgramPath() override { return m_path; }
    bool IsRemovableDrive(const std::u16string&) override { return true; }

private:
    std::u16string m_path;
};

[[noreturn]] void Violated(const std::string& what) {
    std::fprintf(stderr, "invariant violated: %s\n", what.c_str());
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    MemoryFileSystem fs;
    std::u16string root = in.ConsumeBool() ? u"E:" : u"E:\\Music";
    fs.AddFolder(root);
    fs.AddFolder(u"E:\\iPod_Control\\iTunes");
    // The location check needs a database; a run may still find it gone (deleted meanwhile). Its
    // tag may name the later generations' layout, whose record holds fewer bytes of a path.
    Bytes oldDb(kDbHeaderSize - 1, 0xEE);  // never a well-formed database
    if (in.ConsumeBool())
        std::copy_n("bdhs", 4, oldDb.begin());
    fs.AddFile(kDb, oldDb);
    bool keepDb = in.ConsumeBool();

    std::vector<std::u16string> folders = {root};
    auto fold = [](std::u16string path) {
        for (auto& unit : path)
            unit = FoldAscii(unit);
        return path;
    };
    // Folded full paths, as the file system compares them; the player's own folder is never
    // part of the generated tree.
    std::set<std::u16string> taken = {fold(root), fold(u"E:\\iPod_Control")};

    std::vector<std::u16string> made;  // every file and folder of the tree
    uint32_t files = 0;
    bool locked = false;
    size_t entries = in.ConsumeIntegralInRange<size_t>(0, 64);
    for (size_t i = 0; i < entries && in.remaining_bytes(); ++i) {
        // Later entries tend to go into recent folders, so trees grow deep.
        size_t pick = in.ConsumeIntegralInRange<size_t>(0, folders.size() - 1);
        const std::u16string parent = in.ConsumeBool() ? folders.back() : folders[pick];
        unsigned kind = in.ConsumeIntegralInRange(0, 9);
        std::u16string name = DecodeName(in);
        if (!Usable(name))
            continue;
        if (kind == 9)
            name += kLinkMark;
        std::u16string path = parent + u"\\" + name;
        if (!taken.insert(fold(path)).second)
            continue;
        made.push_back(path);
        if (kind < 5) {
            fs.AddFile(path, Content(in, files++));
        } else if (kind < 9) {
            fs.AddFolder(path);
            folders.push_back(path);
        } else {
            fs.AddLink(path);
        }
        if (in.ConsumeIntegralInRange(0, 15) == 0) {
            fs.SetLocked(path, true);
            locked = true;
        }
        if (kind >= 5 && in.ConsumeIntegralInRange(0, 15) == 0)
            fs.SetClosed(path);  // access denied: both scans pass over it
    }
    // What an earlier run cut off may have recorded: renames of the tree's items, some done, some
    // not, some of items gone since; or bytes that only begin like a record.
    const std::u16string record = kDb + u".renames";
    unsigned recorded = in.ConsumeIntegralInRange(0, 7);
    if (recorded == 0 && !made.empty()) {
        std::vector<RecordEntry> entries;
        for (size_t n = in.ConsumeIntegralInRange(1, 4); n > 0 && in.remaining_bytes(); --n) {
            RecordEntry entry;
            entry.from = made[in.ConsumeIntegralInRange<size_t>(0, made.size() - 1)];
            entry.to = entry.from.substr(0, FileNameOffset(entry.from)) + DecodeName(in);
            if (in.ConsumeBool())
                std::swap(entry.from, entry.to);
            entry.identity = fs.IsDirectory(entry.from) ? IdentifyFolder(fs, entry.from)
                                                        : IdentifyFile(fs, entry.from);
            entries.push_back(std::move(entry));
        }
        fs.AddFile(record, EncodeRenameRecord(entries));
    } else if (recorded == 1) {
        Bytes bytes = {'Z', 0, 'R', 0, 'R', 0, in.ConsumeBool() ? uint8_t('3') : uint8_t('2'),
                       0,   0, 0};
        auto more = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 512));
        bytes.insert(bytes.end(), more.begin(), more.end());
        fs.AddFile(record, bytes);
    }
    // Windows' FAT driver: a rename that fails between its two writes leaves the item nameless.
    fs.renameRemovesFirst = in.ConsumeBool();
    if (in.ConsumeIntegralInRange(0, 15) == 0)
        fs.SetLocked(kDb, true);
    if (in.ConsumeBool())
        fs.maxWriteChunk = in.ConsumeIntegralInRange<size_t>(1, 70000);
    if (in.ConsumeIntegralInRange(0, 7) == 0)
        fs.capacity = fs.UsedBytes() + in.ConsumeIntegralInRange<size_t>(0, 20000);

    // A later generation's spoken names, through a voice that may lack a language.
    ToneVoice voice;
    voice.chinese = in.ConsumeBool();
    RecordingStatusLabel label;
    CSyncJob job(fs);
    job.SetStatusLabel(&label);
    job.SetVoice(&voice);
    PlayerProbe probe(root);
    if (!job.CheckLocation(probe))
        Violated("the location check refused the player");
    if (!keepDb)
        fs.Remove(kDb);
    fs.operations = 0;

    // One operation of the run, counted from 1, fails; 0 lets everything succeed. Removing the
    // temporary file is spared: when the clean-up itself fails, nothing can clean up.
    size_t failAt = in.ConsumeIntegralInRange<size_t>(0, 3) == 0
                        ? in.ConsumeIntegralInRange<size_t>(1, 2000)
                        : 0;
    bool looking = false;
    std::set<std::u16string> looked;
    fs.failWhen = [&](FsOp op, const std::u16string& path) {
        if (op == FsOp::List && path.find(kLinkMark, FileNameOffset(path)) != path.npos)
            Violated("a linked folder was listed: " + Printable(path));
        if (looking && (op == FsOp::List ? !looked.insert(path).second
                                         : op >= FsOp::Rename && op <= FsOp::Remove))
            Violated("the look wrote or read a folder twice: " + Printable(path));
        return !looking && fs.operations == failAt && op != FsOp::Remove;
    };
    // A locked item or a failing operation makes the run differ from any prediction.
    const bool predictable = failAt == 0 && !locked;
    auto look = [&] {
        looking = true;
        looked.clear();
        Bytes db = fs.Read(kDb);
        PlayerCheck check = CheckPlayer(fs, root, kDb, fs.HasFile(kDb) ? &db : nullptr);
        looking = false;
        return check;
    };
    PlayerCheck predicted;
    if (predictable)
        predicted = look();

    RunBaseline before = TakeBaseline(fs, root, kDb);
    RunOutcome outcome = job.Run();
    if (label.outcome != outcome)
        Violated("the label was given another outcome than the run returned");

    std::string broken = CheckRun(before, fs, label);
    if (!broken.empty())
        Violated(broken);
    if (predictable && label.text == kMsgDone) {
        auto texts = label.Texts();
        size_t renames = std::count_if(texts.begin(), texts.end(), [](const std::u16string& t) {
            return t.compare(0, 8, u"Rename: ") == 0;
        });
        if (predicted.tracks != job.m_lstPaths.Count() || predicted.renames.size() != renames)
            Violated("the look predicted another run");
        // A folder a run passes over keeps the player out of date, by design.
        PlayerCheck after = look();
        if (!after.UpToDate() && after.passedOver.empty())
            Violated("the look finds the player out of date after a run");
    }
    return 0;
}
