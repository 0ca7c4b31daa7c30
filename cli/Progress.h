// The engine's status line, printed. On a terminal: one line rewritten in place (phase, count of
// total, current name, cut to the terminal's width), a few times a second, and a last line that
// stays. Elsewhere: one line per event, in the command's own words, with the player's real paths
// ("renamed: OLD -> NEW", "track: PATH"); the window's texts are never printed. Called from the
// run's worker thread, and for a notice from the thread that answers signals; the main thread
// reads the outcome only after the run has ended.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "base/StatusLabel.h"

// The character widths Columns uses: the user's locale (LC_CTYPE), or C.UTF-8 when that is not
// a UTF-8 one, since the command always prints UTF-8.
void UseTerminalLocale();
// The number of terminal columns the UTF-8 text takes, as the locale's wcwidth counts them (East
// Asian wide characters take two, combining marks none).
size_t Columns(std::string_view text);
// The text cut to `columns`, keeping its end (the file name) behind a leading "...".
std::string FitColumns(const std::string& text, size_t columns);
// "7,534": thousands set apart, as the progress line shows counts.
std::string Grouped(size_t number);

class Progress : public IStatusLabel {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // `width` 0: not a terminal. `now` tells the time for the throttle.
    Progress(std::FILE* out, size_t width, std::u16string drive, std::string top,
             Clock now = std::chrono::steady_clock::now);

    int SetLinkText(std::u16string_view text, int command) override;
    int SetPlain(int) override { return 1; }
    void InvalidateParent() override {}
    void SetProgress(RunPhase phase, size_t count, std::u16string_view item) override;
    void SetOutcome(RunOutcome outcome, int systemError) override;
    void SetTotal(RunPhase phase, size_t total) override;
    void SetRenamed(std::u16string_view from, std::u16string_view to, RenameResult result,
                    int systemError) override;
    void SetPutBack(std::u16string_view from, std::u16string_view to) override;

    // Ends the terminal line: the last progress, drawn in full, stays on the screen.
    void Finish();
    // A line for the user while the run goes on (to `err`), on a line of its own.
    void Notice(std::FILE* err, const std::string& line);
    // Where the run stands, for a notice: "renaming 558 of 7,534".
    std::string Standing();
    void SetWidth(size_t width) { m_width = width; }

    // The last text that is not progress (the outcome, a refusal, the start link) and its command.
    const std::u16string& LastText() const { return m_lastText; }
    int LastCommand() const { return m_lastCommand; }
    // How the run ended, and the system's error code for a lock that could not be had.
    RunOutcome Outcome() const { return m_outcome; }
    int SystemError() const { return m_systemError; }
    RunPhase Phase() const { return m_phase; }
    size_t Count(RunPhase phase) const { return m_counts[static_cast<int>(phase)]; }

private:
    static constexpr int kPhases = 5;

    void Draw(bool force);
    void PrintPath(const char* lead, std::u16string_view path);
    std::string StandingLocked() const;

    std::FILE* m_out;
    size_t m_width;
    std::u16string m_drive;
    std::string m_top;
    Clock m_now;
    std::mutex m_lock;  // the worker's progress and a notice from another thread
    size_t m_counts[kPhases] = {};
    size_t m_totals[kPhases] = {};
    bool m_lineOpen = false;  // a terminal line has been drawn and not yet ended
    RunPhase m_phase = RunPhase::Searching;
    bool m_progressPending = false;  // the next text is the progress just given
    bool m_anyProgress = false;
    std::u16string m_current;  // the name the last progress was about
    std::chrono::steady_clock::time_point m_lastDraw{};
    std::string m_line;  // reused: one line per event when not on a terminal
    std::u16string m_lastText;
    int m_lastCommand = 0;
    RunOutcome m_outcome = RunOutcome::Refused;  // until a run has ended
    int m_systemError = 0;
};
