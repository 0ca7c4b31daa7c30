#include "Progress.h"

#include <langinfo.h>
#include <locale.h>
#include <string.h>
#include <wchar.h>

#include "HostNames.h"
#include "Messages.h"
#include "Text.h"

namespace {

constexpr auto kDrawEvery = std::chrono::milliseconds(200);
const char* const kPhaseNames[] = {"searching", "renaming", "listing tracks"};

// The fixed start of a message format, up to its first argument.
std::u16string_view Lead(std::u16string_view format) {
    return format.substr(0, format.find(u'%'));
}

bool StartsWith(std::u16string_view text, std::u16string_view lead) {
    return text.size() >= lead.size() && text.substr(0, lead.size()) == lead;
}

// Engine text to bytes; the name escapes give back the bytes on disk.
void AppendHost(std::u16string_view text, std::string& out) {
    size_t was = out.size();
    if (AppendNameToHost(text, out))
        return;
    out.resize(was);
    for (char16_t unit : text)  // not from a name on disk; never happens in practice
        out += unit < 0x80 ? static_cast<char>(unit) : '?';
}

// For the terminal: a byte that is no UTF-8 shows as '?', so the line never breaks the display.
std::string TerminalText(std::u16string_view text) {
    std::u16string shown(text);
    for (auto& unit : shown) {
        if (unit >= 0xDC80 && unit <= 0xDCFF)
            unit = u'?';
        else if (unit == u'\\')
            unit = u'/';
    }
    std::string out;
    AppendHost(shown, out);
    return out;
}

}  // namespace

std::string DisplayText(std::u16string_view text, std::u16string_view drive,
                        const std::string& top) {
    std::string out;
    AppendDisplayText(text, drive, top, out);
    return out;
}

void AppendDisplayText(std::u16string_view text, std::u16string_view drive, const std::string& top,
                       std::string& out) {
    // Inside the engine's texts a backslash only ever separates names: one on disk is escaped.
    size_t begin = 0;
    for (size_t at = 0; at <= text.size(); ++at) {
        bool drivePath = at + drive.size() < text.size() && text[at + drive.size()] == u'\\' &&
                         text.substr(at, drive.size()) == drive;
        if (at < text.size() && !drivePath && text[at] != u'\\')
            continue;
        AppendHost(text.substr(begin, at - begin), out);
        if (at == text.size())
            break;
        if (drivePath) {
            out += top == "/" ? "" : top;
            at += drive.size();
        }
        out += '/';
        begin = at + 1;
    }
}

void UseTerminalLocale() {
    const char* set = setlocale(LC_CTYPE, "");
    if (!set || strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        setlocale(LC_CTYPE, "C.UTF-8");
}

size_t Columns(std::string_view text) {
    size_t columns = 0;
    for (size_t i = 0; i < text.size();) {
        auto lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length && i + k < text.size(); ++k)
            point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        // A character the locale does not know (-1) most terminals show in one column.
        int width = wcwidth(static_cast<wchar_t>(point));
        columns += width < 0 ? 1 : static_cast<size_t>(width);
        i += length;
    }
    return columns;
}

std::string FitColumns(const std::string& text, size_t columns) {
    if (Columns(text) <= columns)
        return text;
    if (columns < 4)
        return std::string(columns, '.');
    // Whole characters from the end, so no character is cut in two.
    size_t begin = text.size();
    size_t used = 3;
    while (begin > 0) {
        size_t start = begin - 1;
        while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
            --start;
        size_t width = Columns(std::string_view(text).substr(start, begin - start));
        if (used + width > columns)
            break;
        used += width;
        begin = start;
    }
    return "..." + text.substr(begin);
}

Progress::Progress(std::FILE* out, size_t width, std::u16string drive, std::string top)
    : m_out(out), m_width(width), m_drive(std::move(drive)), m_top(std::move(top)) {}

int Progress::SetLinkText(std::u16string_view text, int command) {
    static const std::u16string_view kLeads[] = {Lead(kMsgSearchFile), Lead(kMsgRename),
                                                 Lead(kMsgFile)};
    int phase = kPhases;
    for (int i = 0; i < kPhases; ++i)
        if (StartsWith(text, kLeads[i]))
            phase = i;
    if (phase == kPhases) {
        m_lastText = text;
        m_lastCommand = command;
        if (command == kNoCommand && m_width == 0)
            PrintLine(text);
        return 1;
    }
    const size_t leadSize = kLeads[phase].size();
    // The rename scan reports each wide-named item it collects as "File:" too; those belong to
    // the search, the track scan's texts come after it.
    if (phase == kListing && m_phase == kSearching && HasWideUnits(text))
        phase = kSearching;
    else
        ++m_counts[phase];
    m_phase = static_cast<Phase>(phase);
    m_anyProgress = true;
    if (m_width == 0) {
        PrintLine(text);
        return 1;
    }
    // The name the text is about: a rename's old path, else the whole argument.
    std::u16string_view about = text.substr(leadSize);
    if (m_phase == kRenaming)
        about = about.substr(0, about.find(u" to " + std::u16string(m_drive)));
    if (StartsWith(about, m_drive))
        about.remove_prefix(std::min(about.size(), m_drive.size() + 1));
    m_current = about;
    Draw(false);
    return 1;
}

void Progress::PrintLine(std::u16string_view text) {
    m_line.clear();
    AppendDisplayText(text, m_drive, m_top, m_line);
    m_line += '\n';
    std::fwrite(m_line.data(), 1, m_line.size(), m_out);
}

void Progress::Draw(bool force) {
    auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastDraw < kDrawEvery)
        return;
    m_lastDraw = now;
    std::string line = kPhaseNames[m_phase];
    line += ' ';
    line += std::to_string(m_counts[m_phase]);
    line += ": ";
    std::string name = TerminalText(m_current);
    size_t room = m_width > Columns(line) + 1 ? m_width - Columns(line) - 1 : 0;
    line += FitColumns(name, room);
    // Back to the line's start and clear to its end: the new text may be shorter.
    std::fprintf(m_out, "\r%s\x1b[K", line.c_str());
    std::fflush(m_out);
}

void Progress::Finish() {
    if (m_width == 0) {
        std::fflush(m_out);
        return;
    }
    if (m_anyProgress) {
        Draw(true);
        std::fputc('\n', m_out);
    }
    std::fflush(m_out);
}
