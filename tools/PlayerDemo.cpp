// Runs Zorbel.exe from the demo player as a user would: starts it from the player's top folder,
// clicks 开始, waits for 完成 and closes the window, with a screenshot before and after.
#include <cstdio>
#include <string>

#include "AppDriver.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: player_demo <program> <folder to start in>\n");
        return 2;
    }
    AppDriver app;
    if (!app.Start(argv[1], argv[2]) || !app.FindMainWindow()) {
        std::fprintf(stderr, "demo: the program did not open its window\n");
        return 1;
    }
    app.WaitForStatus([](const std::wstring& text) { return !text.empty(); }, 10000);
    std::printf("status at start: %s\n", Utf8(app.Status()).c_str());
    app.Screenshot(L"demo-before");
    std::printf("black share of the client area: %.1f%%\n", 100 * app.BlackShare());
    if (app.Status() != L"开始") {
        std::printf("demo: the program refused to run here\n");
        app.PressKey(VK_ESCAPE);
        return 1;
    }
    app.ClickStatus();
    bool done = app.WaitForStatus(
        [](const std::wstring& text) {
            return text == L"完成" || text.find(L"失败") != std::wstring::npos;
        },
        60000);
    std::wstring last = app.Status();
    std::printf("status after the run: %s\n", Utf8(last).c_str());
    app.Screenshot(L"demo-after");
    std::printf("black share of the client area: %.1f%%\n", 100 * app.BlackShare());
    // Enter closes the window with the OK button's code, whatever the run did: only the text
    // above says how the run ended.
    app.PressKey(VK_RETURN);
    if (!app.WaitForExit(10000))
        std::printf("the window did not close on Enter\n");
    else if (app.ExitCode() != IDOK)
        std::printf("the window closed with code %lu, not Enter's %d\n", app.ExitCode(), IDOK);
    else
        std::printf("window closed with Enter\n");
    return done && last == L"完成" ? 0 : 1;
}
