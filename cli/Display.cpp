#include "Display.h"

#include "HostNames.h"
#include "base/Text.h"

namespace {

// The length of the well-formed UTF-8 character at `at`, or 0 for a byte that begins none.
size_t CharacterLength(std::string_view text, size_t at) {
    auto lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0x80                    ? 1
                    : lead >= 0xC2 && lead <= 0xDF ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80)
            return 0;
    return length;
}

void AppendOctal(unsigned char byte, std::string& out) {
    out += '\\';
    out += static_cast<char>('0' + (byte >> 6));
    out += static_cast<char>('0' + ((byte >> 3) & 7));
    out += static_cast<char>('0' + (byte & 7));
}

// Engine text to the bytes on disk; the name escapes give back the bytes of the name.
void AppendHost(std::u16string_view text, std::string& out) {
    size_t had = out.size();
    if (AppendNameToHost(text, out))
        return;
    out.resize(had);
    for (char16_t unit : text)  // not from a name on disk; never happens in practice
        out += unit < 0x80 ? static_cast<char>(unit) : '?';
}

}  // namespace

std::string EscapeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        auto byte = static_cast<unsigned char>(text[at]);
        size_t length = CharacterLength(text, at);
        bool control = false;
        if (length == 1)
            control = byte < 0x20 || byte == 0x7F;
        else if (length == 2)
            control = byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;  // C1
        else if (length == 0)
            control = byte >= 0x80 && byte < 0xA0;  // a stray byte some terminals take for C1
        length = length ? length : 1;
        for (size_t k = 0; k < length; ++k) {
            if (control)
                AppendOctal(static_cast<unsigned char>(text[at + k]), out);
            else
                out += text[at + k];
        }
        at += length;
    }
    return out;
}

std::string DisplayPath(std::string_view hostPath) {
    return EscapeControls(hostPath);
}

std::string DisplayText(std::u16string_view text, std::u16string_view drive,
                        const std::string& top) {
    std::string out;
    AppendDisplayText(text, drive, top, out);
    return out;
}

void AppendDisplayText(std::u16string_view text, std::u16string_view drive, const std::string& top,
                       std::string& out) {
    // Inside the engine's texts a backslash only ever separates names: one on disk is escaped.
    std::string host;
    size_t begin = 0;
    for (size_t at = 0; at <= text.size(); ++at) {
        bool drivePath = at + drive.size() < text.size() && text[at + drive.size()] == u'\\' &&
                         text.substr(at, drive.size()) == drive;
        if (at < text.size() && !drivePath && text[at] != u'\\')
            continue;
        AppendHost(text.substr(begin, at - begin), host);
        if (at == text.size())
            break;
        if (drivePath) {
            host += top == "/" ? "" : top;
            at += drive.size();
        }
        host += '/';
        begin = at + 1;
    }
    out += DisplayPath(host);
}

std::string TerminalText(std::u16string_view text) {
    std::u16string shown(text);
    for (auto& unit : shown) {
        if (unit >= 0xDC80 && unit <= 0xDCFF)
            unit = u'?';
        else if (unit == u'\\')
            unit = u'/';
    }
    std::string host;
    AppendHost(shown, host);
    return DisplayPath(host);
}

std::string ShellWord(const std::string& shown) {
    bool plain = !shown.empty();
    for (unsigned char byte : shown)
        plain = plain && (byte >= 0x80 || (byte >= 'a' && byte <= 'z') ||
                          (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
                          std::string_view("/._-+,:@%").find(static_cast<char>(byte)) !=
                              std::string_view::npos);
    if (plain)
        return shown;
    std::string quoted = "'";
    for (char byte : shown)
        quoted += byte == '\'' ? std::string("'\\''") : std::string(1, byte);
    return quoted + "'";
}

std::string ShownPath(const ShownPlayer& player, std::u16string_view path) {
    return DisplayText(path, player.drive, player.top);
}

std::string ShownPlayerPath(const ShownPlayer& player, std::u16string_view playerPath) {
    return ShownPath(player, FromPlayerPath(player.drive, playerPath));
}
