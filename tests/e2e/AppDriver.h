// Drives the real Zorbel.exe through its window as a user would: starts it, reads the status line,
// clicks it, presses keys and waits for the process to end. Shared by the end-to-end tests and
// the benchmarks.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The program's controls and its About command.
inline constexpr int kStatusId = 1001;
inline constexpr int kNoticeId = 1002;
inline constexpr WPARAM kAboutCommand = 57664;

// A Linux path (/work/...) as Wine reaches it (Z:\work\...); a Windows path comes back unchanged.
std::wstring WinePath(const std::string& path);

// Where screenshots go: $ZORBEL_ARTIFACTS, else the build's own artifacts folder.
std::wstring ArtifactsFolder();

std::string Utf8(const std::wstring& text);

class AppDriver {
public:
    AppDriver() = default;
    AppDriver(const AppDriver&) = delete;
    AppDriver& operator=(const AppDriver&) = delete;
    ~AppDriver();  // ends a process that is still running

    // Starts the program with the given current directory, as Explorer would from its folder.
    bool Start(const std::wstring& exe, const std::wstring& currentDir);
    // Waits for the program's main window: class #32770, caption "Zorbel".
    bool FindMainWindow(DWORD timeoutMs = 15000);
    HWND Window() const { return window_; }
    bool WindowAlive() const { return window_ && IsWindow(window_); }

    // The status line's text (recorded when it changed), empty once the window is gone.
    std::wstring Status();
    std::wstring Notice();
    bool NoticeVisible();

    // Real mouse input onto the left part of the status text; clicks > 1 come in one burst.
    bool ClickStatus(int clicks = 1);
    // Real keyboard input to the main window: a key, optionally with Alt held.
    bool PressKey(WORD vk, bool alt = false);

    // The close box's command. Wine draws the caption itself here (no window manager), so the
    // message is sent rather than the box clicked.
    bool PressCloseBox();

    // Sends the About command, waits for the box, checks its owner and closes it with Enter.
    bool OpenAndCloseAbout(std::string* why);

    // Polls the status line every few ms until the predicate holds for its text. With
    // blankLooks, also looks at the line on the screen at every poll and counts the looks that
    // found no text drawn there at all: a blank between two texts.
    bool WaitForStatus(const std::function<bool(const std::wstring&)>& done, DWORD timeoutMs,
                       int* blankLooks = nullptr);
    bool WaitForStatus(const std::wstring& text, DWORD timeoutMs);
    // Every distinct non-empty status text seen so far, in order.
    const std::vector<std::wstring>& Seen() const { return seen_; }

    // Stops every thread of the program that still runs, as a debugger would, and resumes those:
    // a stopped run keeps what it holds, the player's lock among them, until it is resumed.
    bool Suspend();
    bool Resume();

    bool WaitForExit(DWORD timeoutMs);
    // STILL_ACTIVE while the process runs.
    DWORD ExitCode() const;
    void Terminate();
    DWORD ProcessId() const { return process_.dwProcessId; }

    // Saves the window's screen region as <artifacts>\<name>.bmp; returns the path or empty.
    std::wstring Screenshot(const std::wstring& name);
    // The share (0 to 1) of the client area's pixels on the screen that are black (no channel
    // above 16): what is left where the program paints nothing. -1 when it cannot be read.
    double BlackShare();
    // How many pixels of a control's place on the screen are as dark as the program's texts,
    // whether the control is shown or hidden; -1 when they cannot be read.
    int DarkPixels(int controlId);

    // What the driver saw, for a failure message: the status texts, the last text, the exit code.
    std::string Report() const;

private:
    HWND FindWindowOf(const wchar_t* caption, HWND exclude) const;
    void Record(const std::wstring& text);

    PROCESS_INFORMATION process_{};
    std::vector<HANDLE> suspended_;  // the threads Suspend stopped
    HWND window_ = nullptr;
    std::vector<std::wstring> seen_;
};
