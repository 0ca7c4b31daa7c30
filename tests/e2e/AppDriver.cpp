// The test driver: finds the program's windows by process, reads them with window messages and
// feeds them real mouse and keyboard input (SendInput), so the program sees what a user does.
#include "AppDriver.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>

namespace {

std::wstring Wide(const std::string& text) {
    int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(units, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), units);
    return wide;
}

struct WindowQuery {
    DWORD pid;
    const wchar_t* caption;
    HWND exclude;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM param) {
    auto* query = reinterpret_cast<WindowQuery*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[64] = {}, caption[64] = {};
    if (pid != query->pid || hwnd == query->exclude || !GetClassNameW(hwnd, cls, 64) ||
        wcscmp(cls, L"#32770") != 0)
        return TRUE;
    GetWindowTextW(hwnd, caption, 64);
    if (wcscmp(caption, query->caption) != 0)
        return TRUE;
    query->found = hwnd;
    return FALSE;
}

// Reads a window's text through WM_GETTEXT, without hanging on a program that stopped answering.
bool ReadText(HWND hwnd, std::wstring* text) {
    wchar_t buffer[1024] = {};
    DWORD_PTR got = 0;
    if (!hwnd || !SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer),
                                      SMTO_ABORTIFHUNG, 2000, &got))
        return false;
    text->assign(buffer, std::min<size_t>(got, 1023));
    return true;
}

void MakeFolders(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(path.c_str(), nullptr);
}

bool SendKey(HWND target, WORD vk, bool alt) {
    SetForegroundWindow(target);
    Sleep(30);
    std::vector<INPUT> inputs;
    auto key = [&](WORD code, bool up) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = code;
        in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(in);
    };
    if (alt)
        key(VK_MENU, false);
    key(vk, false);
    key(vk, true);
    if (alt)
        key(VK_MENU, true);
    return SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

// 32-bit pixels of a rectangle, top row first: the form the screen is read in and saved in.
BITMAPINFOHEADER TopDownPixels(const RECT& rect) {
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = rect.right - rect.left;
    info.biHeight = -(rect.bottom - rect.top);
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    return info;
}

// The screen's pixels in a rectangle, top row first; empty when they cannot be read.
std::vector<RGBQUAD> ScreenPixels(const RECT& rect) {
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return {};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = TopDownPixels(rect);
    std::vector<RGBQUAD> pixels(size_t(width) * height);
    int rows = GetDIBits(screen, bitmap, 0, height, pixels.data(),
                         reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (rows != height)
        pixels.clear();
    return pixels;
}

// Suspends every thread of a process that still runs, and returns them for their resumption. A
// thread that can be neither opened nor suspended has ended or is ending (a run's worker, once
// the run is done).
std::vector<HANDLE> SuspendThreads(DWORD processId) {
    std::vector<HANDLE> suspended;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return suspended;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != processId)
            continue;
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
        if (thread && SuspendThread(thread) != DWORD(-1))
            suspended.push_back(thread);
        else if (thread)
            CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return suspended;
}

}  // namespace

std::wstring WinePath(const std::string& path) {
    std::wstring wide = Wide(path);
    if (wide.empty() || wide[0] != L'/')
        return wide;
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return L"Z:" + wide;
}

std::wstring ArtifactsFolder() {
    wchar_t value[1024] = {};
    std::wstring folder = GetEnvironmentVariableW(L"ZORBEL_ARTIFACTS", value, 1024)
                              ? WinePath(Utf8(value))
                              : WinePath(ZORBEL_ARTIFACTS_DEFAULT);
    MakeFolders(folder);
    return folder;
}

std::string Utf8(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr,
                                    nullptr);
    std::string narrow(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), narrow.data(), bytes, nullptr,
                        nullptr);
    return narrow;
}

AppDriver::~AppDriver() {
    if (!suspended_.empty())
        Resume();
    if (process_.hProcess) {
        if (ExitCode() == STILL_ACTIVE)
            Terminate();
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
}

bool AppDriver::Start(const std::wstring& exe, const std::wstring& currentDir) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (process_.hProcess) {  // a program started before, ended by now
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
        process_ = {};
    }
    seen_.clear();
    window_ = nullptr;
    return CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          currentDir.c_str(), &startup, &process_);
}

HWND AppDriver::FindWindowOf(const wchar_t* caption, HWND exclude) const {
    WindowQuery query{process_.dwProcessId, caption, exclude, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

bool AppDriver::FindMainWindow(DWORD timeoutMs) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(10)) {
        window_ = FindWindowOf(L"Zorbel", nullptr);
        if (window_)
            return true;
        if (ExitCode() != STILL_ACTIVE)
            return false;
    }
    return false;
}

void AppDriver::Record(const std::wstring& text) {
    // An empty line is only the moment before the location check has given the first text.
    if (!text.empty() && (seen_.empty() || seen_.back() != text))
        seen_.push_back(text);
}

std::wstring AppDriver::Status() {
    std::wstring text;
    if (!WindowAlive() || !ReadText(GetDlgItem(window_, kStatusId), &text))
        return L"";
    Record(text);
    return text;
}

std::wstring AppDriver::Notice() {
    std::wstring text;
    if (WindowAlive())
        ReadText(GetDlgItem(window_, kNoticeId), &text);
    return text;
}

bool AppDriver::NoticeVisible() {
    HWND notice = WindowAlive() ? GetDlgItem(window_, kNoticeId) : nullptr;
    return notice && IsWindowVisible(notice);
}

bool AppDriver::ClickStatus(int clicks) {
    HWND status = WindowAlive() ? GetDlgItem(window_, kStatusId) : nullptr;
    RECT rect;
    if (!status || !GetWindowRect(status, &rect))
        return false;
    SetForegroundWindow(window_);
    Sleep(30);
    // A few pixels into the text: "开始" is only about two characters wide.
    SetCursorPos(rect.left + std::min<LONG>(8, (rect.right - rect.left) / 2),
                 (rect.top + rect.bottom) / 2);
    Sleep(30);
    std::vector<INPUT> inputs;
    for (int i = 0; i < clicks; ++i)
        for (DWORD flag : {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}) {
            INPUT in{};
            in.type = INPUT_MOUSE;
            in.mi.dwFlags = flag;
            inputs.push_back(in);
        }
    return SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

bool AppDriver::PressKey(WORD vk, bool alt) {
    return WindowAlive() && SendKey(window_, vk, alt);
}

bool AppDriver::PressCloseBox() {
    return WindowAlive() && PostMessageW(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool AppDriver::OpenAndCloseAbout(std::string* why) {
    SetForegroundWindow(window_);
    Sleep(30);
    // Posted: the box runs a modal loop, so a sent command would not return while it is up.
    PostMessageW(window_, WM_COMMAND, kAboutCommand, 0);
    HWND about = nullptr;
    for (DWORD start = GetTickCount(); !about && GetTickCount() - start < 5000; Sleep(10))
        about = FindWindowOf(L"About", window_);
    if (!about)
        return *why = "no About box appeared", false;
    Sleep(200);
    if (GetWindow(about, GW_OWNER) != window_)
        return *why = "the About box is not owned by the main window", false;
    if (IsWindowEnabled(window_))
        return *why = "the main window stayed enabled under the modal About box", false;
    SendKey(about, VK_RETURN, false);
    for (DWORD start = GetTickCount(); IsWindow(about) && GetTickCount() - start < 5000;)
        Sleep(10);
    if (IsWindow(about))
        return *why = "Enter did not close the About box", false;
    if (!IsWindowEnabled(window_))
        return *why = "the main window stayed disabled after the About box", false;
    return true;
}

bool AppDriver::WaitForStatus(const std::function<bool(const std::wstring&)>& done, DWORD timeoutMs,
                              int* blankLooks) {
    if (blankLooks)
        *blankLooks = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs;
         Sleep(blankLooks ? 0 : 2)) {
        if (done(Status()))
            return true;
        if (!WindowAlive())
            return false;
        if (blankLooks && DarkPixels(kStatusId) == 0)
            ++*blankLooks;
    }
    return false;
}

bool AppDriver::WaitForStatus(const std::wstring& text, DWORD timeoutMs) {
    return WaitForStatus([&](const std::wstring& now) { return now == text; }, timeoutMs);
}

bool AppDriver::Suspend() {
    if (!process_.hProcess || !suspended_.empty())
        return false;
    suspended_ = SuspendThreads(process_.dwProcessId);
    return !suspended_.empty();
}

bool AppDriver::Resume() {
    bool ok = !suspended_.empty();
    for (HANDLE thread : suspended_) {
        ok = ResumeThread(thread) != DWORD(-1) && ok;
        CloseHandle(thread);
    }
    suspended_.clear();
    return ok;
}

bool AppDriver::WaitForExit(DWORD timeoutMs) {
    return process_.hProcess && WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

DWORD AppDriver::ExitCode() const {
    DWORD code = 0;
    if (!process_.hProcess || !GetExitCodeProcess(process_.hProcess, &code))
        return 0xFFFFFFFF;
    return code;
}

void AppDriver::Terminate() {
    TerminateProcess(process_.hProcess, 99);
    WaitForSingleObject(process_.hProcess, 10000);
}

std::wstring AppDriver::Screenshot(const std::wstring& name) {
    RECT rect;
    if (!WindowAlive() || !GetWindowRect(window_, &rect))
        return L"";
    Sleep(300);  // the program paints on its own thread, after its texts change
    std::vector<RGBQUAD> pixels = ScreenPixels(rect);
    if (pixels.empty())
        return L"";
    for (RGBQUAD& pixel : pixels)
        pixel.rgbReserved = 0xFF;  // opaque: viewers may read the fourth byte as alpha
    BITMAPINFOHEADER info = TopDownPixels(rect);
    size_t bytes = pixels.size() * sizeof(RGBQUAD);

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + DWORD(bytes);
    std::wstring path = ArtifactsFolder() + L"\\" + name + L".bmp";
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (!out)
        return L"";
    bool ok = fwrite(&file, sizeof file, 1, out) == 1 && fwrite(&info, sizeof info, 1, out) == 1 &&
              fwrite(pixels.data(), 1, bytes, out) == bytes;
    return fclose(out) == 0 && ok ? path : L"";
}

double AppDriver::BlackShare() {
    RECT rect;
    POINT origin = {0, 0};
    if (!WindowAlive() || !GetClientRect(window_, &rect) || !ClientToScreen(window_, &origin))
        return -1;
    Sleep(300);  // as for a screenshot: the program paints after its texts change
    OffsetRect(&rect, origin.x, origin.y);
    std::vector<RGBQUAD> pixels = ScreenPixels(rect);
    if (pixels.empty())
        return -1;
    size_t black = std::count_if(pixels.begin(), pixels.end(), [](RGBQUAD p) {
        return p.rgbRed <= 16 && p.rgbGreen <= 16 && p.rgbBlue <= 16;
    });
    return double(black) / double(pixels.size());
}

int AppDriver::DarkPixels(int controlId) {
    HWND control = WindowAlive() ? GetDlgItem(window_, controlId) : nullptr;
    RECT rect;
    if (!control || !GetWindowRect(control, &rect))
        return -1;
    std::vector<RGBQUAD> pixels = ScreenPixels(rect);
    if (pixels.empty())
        return -1;
    // The skin behind the texts is light (red above 170); the texts are dark blue (red 38).
    return int(
        std::count_if(pixels.begin(), pixels.end(), [](RGBQUAD p) { return p.rgbRed < 110; }));
}

std::string AppDriver::Report() const {
    std::string report = "status texts seen: " + std::to_string(seen_.size()) + "\n";
    for (size_t i = 0; i < seen_.size(); ++i)
        report += "  [" + std::to_string(i) + "] " + Utf8(seen_[i]) + "\n";
    report += "last text: " + (seen_.empty() ? std::string("(none)") : Utf8(seen_.back())) + "\n";
    DWORD code = ExitCode();
    report += "exit code: " +
              (code == STILL_ACTIVE ? std::string("still running") : std::to_string(code)) + "\n";
    return report;
}
