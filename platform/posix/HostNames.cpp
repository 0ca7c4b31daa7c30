#include "HostNames.h"

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// The length of the valid UTF-8 sequence at `at` and its code point, or 0: no overlong forms, no
// surrogates, nothing above U+10FFFF.
size_t DecodeOne(std::string_view bytes, size_t at, char32_t& point) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    unsigned char lead = byte(at);
    size_t length;
    char32_t min;
    if (lead < 0x80) {
        point = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, point = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, point = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, point = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        point = (point << 6) | (byte(at + i) & 0x3F);
    }
    if (point < min || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        return 0;
    return length;
}

void AppendUtf8(char32_t point, std::string& out) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

}  // namespace

std::u16string NameFromHost(std::string_view bytes) {
    std::u16string name;
    name.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        // Most names are ASCII: those bytes are their units.
        if (static_cast<unsigned char>(bytes[at]) < 0x80 && bytes[at] != '\\') {
            name += static_cast<char16_t>(bytes[at++]);
            continue;
        }
        char32_t point = 0;
        size_t length = DecodeOne(bytes, at, point);
        if (length == 0) {
            name += static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[at]));
            ++at;
            continue;
        }
        at += length;
        if (point == u'\\') {
            name += kBackslashUnit;
        } else if (point < 0x10000) {
            name += static_cast<char16_t>(point);
        } else {
            point -= 0x10000;
            name += static_cast<char16_t>(0xD800 + (point >> 10));
            name += static_cast<char16_t>(0xDC00 + (point & 0x3FF));
        }
    }
    return name;
}

bool NameToHost(std::u16string_view name, std::string& bytes) {
    bytes.clear();
    return AppendNameToHost(name, bytes);
}

bool AppendNameToHost(std::u16string_view name, std::string& bytes) {
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t unit = name[i];
        if (unit < 0x80) {
            bytes += static_cast<char>(unit);
        } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < name.size() &&
                   name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
            char32_t high = unit - 0xD800, low = name[++i] - 0xDC00;
            AppendUtf8(0x10000 + (high << 10) + low, bytes);
        } else if (unit == kBackslashUnit) {
            bytes += '\\';
        } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
            bytes += static_cast<char>(unit - kEscapeBase);
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            return false;
        } else {
            AppendUtf8(unit, bytes);
        }
    }
    return true;
}
