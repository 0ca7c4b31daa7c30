// The engine's status line, printed. On a terminal: one line rewritten in place (phase, count,
// current name, cut to the terminal's width), a few times a second, and a last line that stays.
// Elsewhere: every text of the engine, one a line, with the player's real paths. Called from the
// run's worker thread; the main thread reads the outcome only after the run has ended.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "StatusLabel.h"

// An engine text with the player's real paths: "P:\Music\a.mp3" -> "<top>/Music/a.mp3".
std::string DisplayText(std::u16string_view text, std::u16string_view drive,
                        const std::string& top);
void AppendDisplayText(std::u16string_view text, std::u16string_view drive, const std::string& top,
                       std::string& out);

// The character widths Columns uses: the user's locale (LC_CTYPE), or C.UTF-8 when that is not
// a UTF-8 one, since the command always prints UTF-8.
void UseTerminalLocale();
// The number of terminal columns the UTF-8 text takes, as the locale's wcwidth counts them (East
// Asian wide characters take two, combining marks none).
size_t Columns(std::string_view text);
// The text cut to `columns`, keeping its end (the file name) behind a leading "...".
std::string FitColumns(const std::string& text, size_t columns);

class Progress : public IStatusLabel {
public:
    enum Phase { kSearching, kRenaming, kListing, kPhases };

    // `width` 0: not a terminal.
    Progress(std::FILE* out, size_t width, std::u16string drive, std::string top);

    int SetLinkText(std::u16string_view text, int command) override;
    int SetPlain(int) override { return 1; }
    void InvalidateParent() override {}

    // Ends the terminal line: the last progress, drawn in full, stays on the screen.
    void Finish();
    void SetWidth(size_t width) { m_width = width; }

    // The last text that is not progress (the outcome, a refusal, the start link) and its command.
    const std::u16string& LastText() const { return m_lastText; }
    int LastCommand() const { return m_lastCommand; }
    size_t Count(Phase phase) const { return m_counts[phase]; }

private:
    void Draw(bool force);
    void PrintLine(std::u16string_view text);

    std::FILE* m_out;
    size_t m_width;
    std::u16string m_drive;
    std::string m_top;
    size_t m_counts[kPhases] = {};
    Phase m_phase = kSearching;
    bool m_anyProgress = false;
    std::u16string m_current;  // the name the last progress text was about
    std::chrono::steady_clock::time_point m_lastDraw{};
    std::string m_line;  // reused: one line per text when not on a terminal
    std::u16string m_lastText;
    int m_lastCommand = 0;
};
