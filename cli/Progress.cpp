#include "Progress.h"

#include <algorithm>
#include <cstring>
#include <langinfo.h>
#include <locale.h>
#include <string.h>
#include <utility>
#include <wchar.h>

#include "Display.h"
#include "base/Messages.h"

namespace {

constexpr auto kDrawEvery = std::chrono::milliseconds(200);
const char* const kPhaseNames[] = {"searching", "renaming", "listing tracks", "writing",
                                   "speaking names"};

bool StartsWith(std::u16string_view text, std::u16string_view lead) {
    return text.size() >= lead.size() && text.substr(0, lead.size()) == lead;
}

}  // namespace

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

std::string Grouped(size_t number) {
    std::string digits = std::to_string(number);
    for (size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, 1, ',');
    return digits;
}

Progress::Progress(std::FILE* out, size_t width, std::u16string drive, std::string top, Clock now)
    : m_out(out),
      m_width(width),
      m_drive(std::move(drive)),
      m_top(std::move(top)),
      m_now(std::move(now)) {}

void Progress::SetProgress(RunPhase phase, size_t count, std::u16string_view item) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_phase = phase;
    m_counts[static_cast<int>(phase)] = count;
    m_anyProgress = true;
    // Piped, each track found is a line of its own, with its real path, and so is each song whose
    // name is spoken.
    if (m_width == 0 && phase == RunPhase::ListingTracks)
        PrintPath("track: ", item);
    if (m_width == 0 && phase == RunPhase::Speaking)
        PrintPath("speaking: ", item);
    // Paths on the player are shown from its top folder.
    if (StartsWith(item, m_drive))
        item.remove_prefix(std::min(item.size(), m_drive.size() + 1));
    m_current = item;
    if (phase == RunPhase::Writing) {
        // Writing comes without a text: shown at once, it is the last progress of a run.
        if (m_width != 0)
            Draw(true);
        return;
    }
    m_progressPending = true;
}

void Progress::SetOutcome(RunOutcome outcome, int systemError) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_outcome = outcome;
    m_systemError = systemError;
}

void Progress::SetTotal(RunPhase phase, size_t total) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_totals[static_cast<int>(phase)] = total;
}

void Progress::SetRenamed(std::u16string_view from, std::u16string_view to, RenameResult result,
                          int systemError) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_width != 0)
        return;  // on a terminal the progress line shows it; the last lines name any failure
    m_line.clear();
    m_line += result == RenameResult::Refused ? "not renamed: " : "renamed: ";
    AppendDisplayText(from, m_drive, m_top, m_line);
    if (result != RenameResult::Refused) {
        m_line += " -> ";
        AppendDisplayText(to, m_drive, m_top, m_line);
    }
    if (result != RenameResult::Renamed) {
        m_line += result == RenameResult::Refused ? " (" : " (not confirmed: ";
        m_line += std::strerror(systemError);
        m_line += ')';
    }
    m_line += '\n';
    std::fwrite(m_line.data(), 1, m_line.size(), m_out);
}

// Rare, and what the user waited for after the drive's check: a line of its own, on a terminal
// too.
void Progress::SetPutBack(std::u16string_view from, std::u16string_view to) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_lineOpen) {
        std::fputc('\n', m_out);
        m_lineOpen = false;
    }
    m_line = "put back: ";
    AppendDisplayText(from, m_drive, m_top, m_line);
    m_line += " -> ";
    AppendDisplayText(to, m_drive, m_top, m_line);
    m_line += '\n';
    std::fwrite(m_line.data(), 1, m_line.size(), m_out);
}

int Progress::SetLinkText(std::u16string_view text, int command) {
    std::lock_guard<std::mutex> hold(m_lock);
    // The window's texts stay the window's: piped, the events above are the command's lines.
    if (!std::exchange(m_progressPending, false)) {
        m_lastText = text;
        m_lastCommand = command;
    } else if (m_width != 0) {
        Draw(false);
    }
    return 1;
}

void Progress::PrintPath(const char* lead, std::u16string_view path) {
    m_line = lead;
    AppendDisplayText(path, m_drive, m_top, m_line);
    m_line += '\n';
    std::fwrite(m_line.data(), 1, m_line.size(), m_out);
}

std::string Progress::StandingLocked() const {
    size_t count = Count(m_phase);
    size_t total = m_totals[static_cast<int>(m_phase)];
    std::string standing = kPhaseNames[static_cast<int>(m_phase)];
    standing += ' ';
    standing += Grouped(count);
    if (total >= count && total > 0 && m_phase != RunPhase::Writing) {
        standing += " of ";
        standing += Grouped(total);
    }
    return standing;
}

std::string Progress::Standing() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_anyProgress ? StandingLocked() : "starting";
}

void Progress::Draw(bool force) {
    auto now = m_now();
    if (!force && now - m_lastDraw < kDrawEvery)
        return;
    m_lastDraw = now;
    std::string line = StandingLocked() + ": ";
    std::string name = TerminalText(m_current);
    size_t room = m_width > Columns(line) + 1 ? m_width - Columns(line) - 1 : 0;
    line += FitColumns(name, room);
    // Back to the line's start and clear to its end: the new text may be shorter.
    std::fprintf(m_out, "\r%s\x1b[K", line.c_str());
    std::fflush(m_out);
    m_lineOpen = true;
}

void Progress::Notice(std::FILE* err, const std::string& line) {
    std::lock_guard<std::mutex> hold(m_lock);
    // The notice gets a line of its own; the progress line starts again below it.
    if (m_lineOpen) {
        std::fputc('\n', m_out);
        std::fflush(m_out);
        m_lineOpen = false;
        m_lastDraw = {};
    }
    std::fputs(line.c_str(), err);
    std::fflush(err);
}

void Progress::Finish() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_width == 0) {
        std::fflush(m_out);
        return;
    }
    if (m_anyProgress) {
        Draw(true);
        std::fputc('\n', m_out);
        m_lineOpen = false;
    }
    std::fflush(m_out);
}
