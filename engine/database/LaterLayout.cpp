#include "database/LaterLayout.h"

#include <algorithm>

#include "base/Text.h"

namespace {

constexpr size_t kNameField = kLaterNameBytes + 1;

// One code point read back into UTF-16. Only the forms NextUtf8 writes are read; any other byte
// becomes U+FFFD alone, so writing the name again shows the record differs.
// Returns where `out` ends after the units.
char16_t* NextUnits(const uint8_t* bytes, size_t size, size_t& at, char16_t* out) {
    uint8_t lead = bytes[at];
    size_t length = Utf8Length(lead);
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
    bool ok = length != 0 && size - at >= length;
    for (size_t i = 1; ok && i < length; ++i) {
        ok = (bytes[at + i] & 0xC0) == 0x80;
        c = c << 6 | (bytes[at + i] & 0x3F);
    }
    if (!ok || c < kLeast[length] || c > 0x10FFFF) {
        ++at;
        *out = u'\uFFFD';
        return out + 1;
    }
    at += length;
    if (c < 0x10000) {
        *out = static_cast<char16_t>(c);
        return out + 1;
    }
    out[0] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    return out + 2;
}

}  // namespace

size_t NextUtf8(std::u16string_view text, size_t& at, uint8_t* out) {
    uint32_t c = text[at++];
    if (c >= 0xD800 && c < 0xDC00 && at < text.size() && text[at] >= 0xDC00 && text[at] < 0xE000)
        c = 0x10000 + ((c - 0xD800) << 10) + (text[at++] - 0xDC00);
    if (c < 0x80) {
        out[0] = static_cast<uint8_t>(c);
        return 1;
    }
    size_t length = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    static const uint8_t kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (size_t i = length - 1; i > 0; --i, c >>= 6)
        out[i] = static_cast<uint8_t>(0x80 | (c & 0x3F));
    out[0] = static_cast<uint8_t>(kLead[length] | c);
    return length;
}

bool HasLaterTag(const uint8_t* bytes, size_t size) {
    return size >= 4 && LaterWord(bytes) == kDatabaseTag;
}

bool FitsLaterRecord(std::u16string_view playerPath) {
    uint8_t code[4];
    size_t used = 0;
    for (size_t at = 0; at < playerPath.size() && used <= kLaterNameBytes;)
        used += NextUtf8(playerPath, at, code);
    return used <= kLaterNameBytes;
}

std::u16string LaterRecordName(const uint8_t* field) {
    auto length = static_cast<size_t>(std::find(field, field + kNameField, 0) - field);
    char16_t path[kNameField];  // no byte gives more than one unit
    char16_t* end = path;
    for (size_t at = 0; at < length;)
        end = NextUnits(field, length, at, end);
    return std::u16string(path, end);
}
