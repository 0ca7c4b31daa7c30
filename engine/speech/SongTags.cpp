#include "speech/SongTags.h"

#include <algorithm>
#include <vector>

#include "base/Text.h"

namespace {

constexpr size_t kId3Header = 10;
constexpr size_t kId3v1Size = 128;
// A tag is walked for at most this many frames: a tag of millions of tiny frames costs no more.
constexpr int kMostFrames = 512;
// A version 2.2 or 2.3 tag made safe for old players (unsynchronised) must be read whole before
// its frames can be found; only its first bytes are, where the title and artist lie.
constexpr size_t kUnsyncedTagBytes = 256 * 1024;

class MemorySource : public ITagSource {
public:
    MemorySource(const uint8_t* bytes, size_t size) : m_bytes(bytes), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    size_t ReadAt(uint64_t offset, uint8_t* out, size_t size) override {
        if (offset >= m_size)
            return 0;
        size_t n = std::min<uint64_t>(size, m_size - offset);
        std::copy(m_bytes + offset, m_bytes + offset + n, out);
        return n;
    }

private:
    const uint8_t* m_bytes;
    size_t m_size;
};

bool ReadExactly(ITagSource& source, uint64_t offset, uint8_t* out, size_t size) {
    return source.ReadAt(offset, out, size) == size;
}

uint32_t BigEndian(const uint8_t* at, size_t bytes) {
    uint32_t value = 0;
    for (size_t i = 0; i < bytes; ++i)
        value = value << 8 | at[i];
    return value;
}

// Seven bits a byte; false when a byte has its top bit, which no such number has.
bool SyncSafe(const uint8_t* at, uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (at[i] & 0x80)
            return false;
        value = value << 7 | at[i];
    }
    return true;
}

// Undoes the scheme that keeps old players from taking tag bytes for audio: 0xFF 0x00 was 0xFF.
void Resynchronise(std::vector<uint8_t>& bytes) {
    size_t out = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[out++] = bytes[i];
        if (bytes[i] == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == 0x00)
            ++i;
    }
    bytes.resize(out);
}

// Latin-1 bytes whose every byte above 0x7F pairs with the next as a GBK character, at least one
// of them a common Chinese one (both bytes in GB2312's range): Chinese text a tagger stored as if
// it were Latin-1. Western names rarely hold two such letters in a row.
bool LooksLikeGbk(const uint8_t* text, size_t size) {
    bool chinese = false;
    for (size_t i = 0; i < size; ++i) {
        uint8_t lead = text[i];
        if (lead < 0x80)
            continue;
        if (lead < 0x81 || lead > 0xFE || i + 1 == size)
            return false;
        uint8_t trail = text[++i];
        if (trail < 0x40 || trail == 0x7F || trail > 0xFE)
            return false;
        chinese = chinese || (lead >= 0xA1 && lead <= 0xF7 && trail >= 0xA1);
    }
    return chinese;
}

void AppendCodePoint(uint32_t c, std::u16string& out) {
    if (c >= 0x10000) {
        out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(c));
    }
}

// UTF-8 up to its first zero byte; false for any byte sequence UTF-8 does not allow (a legacy
// encoding labelled as UTF-8 is no text to say).
bool DecodeUtf8(const uint8_t* text, size_t size, std::u16string& out) {
    for (size_t i = 0; i < size && text[i] != 0;) {
        uint8_t lead = text[i];
        size_t length = Utf8Length(lead);
        if (length == 0 || size - i < length)
            return false;
        uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            if ((text[i + k] & 0xC0) != 0x80)
                return false;
            c = c << 6 | (text[i + k] & 0x3F);
        }
        static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < kLeast[length] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
            return false;
        AppendCodePoint(c, out);
        i += length;
    }
    return true;
}

// UTF-16 in either byte order up to its first zero unit; a byte order mark decides, else `big`.
void DecodeUtf16(const uint8_t* text, size_t size, bool big, std::u16string& out) {
    size_t i = 0;
    if (size >= 2 &&
        ((text[0] == 0xFF && text[1] == 0xFE) || (text[0] == 0xFE && text[1] == 0xFF))) {
        big = text[0] == 0xFE;
        i = 2;
    }
    for (; i + 1 < size; i += 2) {
        auto unit =
            static_cast<char16_t>(big ? text[i] << 8 | text[i + 1] : text[i + 1] << 8 | text[i]);
        if (unit == 0)
            break;
        out.push_back(unit);
    }
}

bool IsSpace(char16_t unit) {
    return unit == u' ' || unit == 0x3000 || unit == 0x00A0;
}

// Control characters become spaces and lone surrogates go; spaces at either end go; the text is
// cut at a whole character within the longest a name takes.
std::u16string Cleaned(const std::u16string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t unit = text[i];
        bool high = unit >= 0xD800 && unit < 0xDC00;
        bool low = unit >= 0xDC00 && unit < 0xE000;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            if (out.size() + 2 > kLongestTagText)
                break;
            out.push_back(unit);
            out.push_back(text[++i]);
            continue;
        }
        if (high || low || unit == 0xFEFF)
            continue;
        if (out.size() + 1 > kLongestTagText)
            break;
        out.push_back(unit < 0x20 || (unit >= 0x7F && unit < 0xA0) ? u' ' : unit);
    }
    size_t begin = 0, end = out.size();
    while (begin < end && IsSpace(out[begin]))
        ++begin;
    while (end > begin && IsSpace(out[end - 1]))
        --end;
    return out.substr(begin, end - begin);
}

std::u16string Latin1(const uint8_t* text, size_t size) {
    size = static_cast<size_t>(std::find(text, text + size, 0) - text);
    if (LooksLikeGbk(text, size))
        return {};
    std::u16string out(text, text + size);
    return Cleaned(out);
}

// A text frame's contents: its encoding byte, then the text.
std::u16string FrameText(const uint8_t* data, size_t size) {
    if (size < 2)
        return {};
    std::u16string out;
    switch (data[0]) {
        case 0:
            return Latin1(data + 1, size - 1);
        case 1:
        case 2:
            DecodeUtf16(data + 1, size - 1, data[0] == 2, out);
            break;
        case 3:
            if (!DecodeUtf8(data + 1, size - 1, out))
                return {};
            break;
        default:
            return {};
    }
    return Cleaned(out);
}

enum class Field { None, Title, Artist };

Field FrameField(const uint8_t* id, int major) {
    auto is = [id](const char* name, size_t length) { return std::equal(id, id + length, name); };
    if (major == 2)
        return is("TT2", 3) ? Field::Title : is("TP1", 3) ? Field::Artist : Field::None;
    return is("TIT2", 4) ? Field::Title : is("TPE1", 4) ? Field::Artist : Field::None;
}

bool ValidFrameId(const uint8_t* id, size_t length) {
    return std::all_of(id, id + length,
                       [](uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

// Walks the frames between `at` and `end` of the tag's bytes in `source`. `tagUnsync`: every
// frame of a version 2.4 tag is unsynchronised.
void WalkFrames(ITagSource& source, uint64_t at, uint64_t end, int major, bool tagUnsync,
                SongTags& tags) {
    const size_t idLength = major == 2 ? 3 : 4;
    const size_t headLength = major == 2 ? 6 : 10;
    end = std::min(end, source.Size());
    uint8_t head[10];
    for (int frames = 0; frames < kMostFrames && end - at >= headLength; ++frames) {
        if (!ReadExactly(source, at, head, headLength) || head[0] == 0 ||
            !ValidFrameId(head, idLength))
            return;  // the padding, or no frame: nothing further is trusted
        uint32_t size = 0;
        if (major == 2)
            size = BigEndian(head + 3, 3);
        else if (major == 3 || !SyncSafe(head + 4, size))
            size = BigEndian(head + 4, 4);  // some taggers wrote 2.4 sizes as plain numbers
        const uint64_t dataAt = at + headLength;
        if (size > end - dataAt)
            return;  // a frame past the tag or the file: its size lies
        at = dataAt + size;
        Field field = FrameField(head, major);
        if (field == Field::None || size > kLargestTextFrame ||
            !(field == Field::Title ? tags.title : tags.artist).empty())
            continue;
        const uint8_t format = major == 2 ? 0 : head[9];
        size_t skip = 0;
        bool unsync = false;
        if (major == 3) {
            if (format & 0xC0)
                continue;  // compressed or encrypted
            skip = format & 0x20 ? 1 : 0;
        } else if (major == 4) {
            if (format & 0x0C)
                continue;
            skip = (format & 0x40 ? 1 : 0) + (format & 0x01 ? 4 : 0);
            unsync = tagUnsync || (format & 0x02);
        }
        std::vector<uint8_t> data(size);
        if (!ReadExactly(source, dataAt, data.data(), size) || skip > size)
            continue;
        data.erase(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(skip));
        if (unsync)
            Resynchronise(data);
        (field == Field::Title ? tags.title : tags.artist) = FrameText(data.data(), data.size());
        if (!tags.title.empty() && !tags.artist.empty())
            return;
    }
}

SongTags ReadId3v2(ITagSource& source) {
    SongTags tags;
    uint8_t header[kId3Header];
    uint32_t size = 0;
    if (!ReadExactly(source, 0, header, kId3Header) || !std::equal(header, header + 3, "ID3") ||
        header[3] < 2 || header[3] > 4 || header[4] == 0xFF || !SyncSafe(header + 6, size))
        return tags;
    const int major = header[3];
    const uint8_t flags = header[5];
    if (major == 2 && (flags & 0x40))
        return tags;  // a compressed 2.2 tag: no scheme for it was ever agreed
    const uint64_t end = kId3Header + uint64_t(size);
    if ((flags & 0x80) && major < 4) {
        // Frames and their sizes are found only once the tag's bytes are made whole again.
        std::vector<uint8_t> bytes(std::min<uint64_t>(size, kUnsyncedTagBytes));
        bytes.resize(source.ReadAt(kId3Header, bytes.data(), bytes.size()));
        Resynchronise(bytes);
        MemorySource whole(bytes.data(), bytes.size());
        uint64_t at = 0;
        if (major == 3 && (flags & 0x40)) {
            at = bytes.size() >= 4 ? 4 + uint64_t(BigEndian(bytes.data(), 4)) : bytes.size();
            at = std::min<uint64_t>(at, bytes.size());
        }
        WalkFrames(whole, at, bytes.size(), major, false, tags);
        return tags;
    }
    uint64_t at = kId3Header;
    if (major > 2 && (flags & 0x40)) {
        uint8_t extended[4];
        uint32_t length = 0;
        if (!ReadExactly(source, at, extended, 4))
            return tags;
        if (major == 3)
            length = 4 + BigEndian(extended, 4);
        else if (!SyncSafe(extended, length))
            return tags;
        at += length;
        if (at > end)
            return tags;
    }
    WalkFrames(source, at, end, major, major == 4 && (flags & 0x80), tags);
    return tags;
}

}  // namespace

SongTags ReadSongTags(ITagSource& source) {
    SongTags tags = ReadId3v2(source);
    if (!tags.title.empty() && !tags.artist.empty())
        return tags;
    uint8_t v1[kId3v1Size];
    const uint64_t size = source.Size();
    if (size < kId3v1Size || !ReadExactly(source, size - kId3v1Size, v1, kId3v1Size) ||
        !std::equal(v1, v1 + 3, "TAG"))
        return tags;
    if (tags.title.empty())
        tags.title = Latin1(v1 + 3, 30);
    if (tags.artist.empty())
        tags.artist = Latin1(v1 + 33, 30);
    return tags;
}

SongTags ReadSongTags(const uint8_t* bytes, size_t size) {
    MemorySource source(bytes, size);
    return ReadSongTags(source);
}
