// The real program under Wine: a whole run of Zorbel.exe, from the click on "开始" to "完成", on
// the benchmarks' synthetic tree made real on drive P:, beside a bare walk of the same tree in the
// same Wine session; then the engine alone in this process on that tree, step by step, to show
// where the program's time goes.
#include <windows.h>
#include <shlwapi.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "AppDriver.h"
#include "BenchSupport.h"
#include "base/Messages.h"
#include "PlayerDrive.h"
#include "run/SyncJob.h"
#include "PlayerTree.h"
#include "TimedFileSystem.h"
#include "Win32FileSystem.h"

namespace {

constexpr size_t kTracks = 2000;
constexpr int kRuns = 3;
// Against the least the run must do: two bare walks (the renames change the tree, so it is
// listed twice) and the renames the tree needs.
constexpr double kRatioGoal = 1.25;

std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

// The benchmarks' tree as drive-relative paths: folders end in '\'.
std::vector<std::wstring> TreePaths(const PlayerTree& tree) {
    std::vector<std::wstring> paths;
    for (const auto& item : tree.Items())
        paths.push_back(Wide(item.path) + (item.folder ? L"\\" : L""));
    return paths;
}

// The least a program must do to see every entry: one listing per folder, nothing else. With
// `testEach`, also what each scan of a run used to ask: a directory test per entry.
size_t Walk(const std::wstring& folder, bool testEach) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    size_t entries = 0;
    do {
        if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0)
            continue;
        ++entries;
        std::wstring path = folder + L"\\" + data.cFileName;
        bool isFolder = testEach ? PathIsDirectoryW(path.c_str()) != FALSE
                                 : (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder)
            entries += Walk(path, testEach);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return entries;
}

size_t BareWalk(const std::wstring& folder) {
    return Walk(folder, false);
}

// A fresh player: the old database, the program in the top folder and the music folders. One
// walk over it before anything is timed, so every timing starts from the same warm caches.
bool MakePlayer(const std::vector<std::wstring>& tree) {
    bool made = WipeDrive(kPlayerDrive, DRIVE_REMOVABLE) &&
                WriteBytes(DatabasePath(kPlayerDrive), OldDatabase()) &&
                !InstallProgram(kPlayerDrive).empty() && CreateTree(kPlayerDrive, tree);
    BareWalk(kPlayerDrive);
    return made;
}

struct ProgramRun {
    double ms = 0;
    double firstTextMs = 0;  // when the first text of the run was seen
    size_t textsSeen = 0;
    std::string problem;  // empty when the run ended on "完成" with a sound database
};

ProgramRun RunProgram() {
    ProgramRun run;
    AppDriver app;
    std::wstring exe = std::wstring(kPlayerDrive) + L"\\Zorbel.exe";
    if (!app.Start(exe, std::wstring(kPlayerDrive) + L"\\") || !app.FindMainWindow() ||
        !app.WaitForStatus(std::wstring(L"开始"), 15000)) {
        run.problem = "the program did not offer \"开始\"\n" + app.Report();
        return run;
    }
    if (!app.ClickStatus()) {
        run.problem = "the click could not be sent";
        return run;
    }
    // From the moment the click is in the input queue; the driver polls the text every 2 ms.
    auto start = std::chrono::steady_clock::now();
    auto done = [&](const std::wstring& text) {
        if (run.firstTextMs == 0 && text != L"开始")
            run.firstTextMs = MillisecondsSince(start);
        return text == L"完成";
    };
    if (!app.WaitForStatus(done, 600000)) {
        run.problem = "no \"完成\"\n" + app.Report();
        return run;
    }
    run.ms = MillisecondsSince(start);
    run.textsSeen = app.Seen().size();
    run.problem = CheckDatabase(kPlayerDrive, kPlayerDrive);
    app.PressKey(VK_RETURN);
    if (run.problem.empty() && (!app.WaitForExit(10000) || app.ExitCode() != 1))
        run.problem = "the program did not end with exit code 1 after Enter";
    return run;
}

// The engine's four steps in this process, on the real drive, with a label that only counts.
EngineRun RunEngine() {
    Win32FileSystem win32;
    PlayerProbe probe;
    return TimeEngineSteps(win32, probe);
}

std::string Runs(const std::vector<double>& values, int decimals = 1) {
    std::string text;
    for (double value : values) {
        char one[32];
        std::snprintf(one, sizeof one, "%s%.*f", text.empty() ? "" : " ", decimals, value);
        text += one;
    }
    return text;
}

}  // namespace

int main() {
    std::vector<std::wstring> tree = TreePaths(PlayerTree(kTracks));

    std::printf(
        "Zorbel.exe under Wine, %zu tracks on P: (removable), %zu folders and files in "
        "all, median of %d\n",
        kTracks, tree.size(), kRuns);
    std::vector<double> walks, testedWalks, programs, emptyPrograms, engineTotals, engineSteps[4];
    std::vector<double> engineFs[TimedFileSystem::kKinds], engineOwn, ratios, floors,
        emptyFirstTexts;
    size_t walkEntries = 0, textsSeen = 0, engineTexts = 0;
    for (int i = 0; i < kRuns; ++i) {
        if (!MakePlayer(tree)) {
            std::printf("could not make the player on P: (is it a removable Wine drive?)\n");
            return 1;
        }
        auto start = std::chrono::steady_clock::now();
        Walk(kPlayerDrive, true);
        testedWalks.push_back(MillisecondsSince(start));
        start = std::chrono::steady_clock::now();
        walkEntries = BareWalk(kPlayerDrive);
        double walkBefore = MillisecondsSince(start);

        ProgramRun program = RunProgram();
        if (!program.problem.empty()) {
            std::printf("run %d failed: %s\n", i + 1, program.problem.c_str());
            return 1;
        }
        // The machine's pace drifts: the walks just before and just after the run frame it.
        start = std::chrono::steady_clock::now();
        BareWalk(kPlayerDrive);
        double walk = (walkBefore + MillisecondsSince(start)) / 2;
        walks.push_back(walk);
        programs.push_back(program.ms);
        textsSeen = program.textsSeen;

        if (!MakePlayer({})) {
            std::printf("could not empty the player on P:\n");
            return 1;
        }
        ProgramRun empty = RunProgram();
        if (!empty.problem.empty()) {
            std::printf("run %d on an empty player failed: %s\n", i + 1, empty.problem.c_str());
            return 1;
        }
        emptyPrograms.push_back(empty.ms);
        emptyFirstTexts.push_back(empty.firstTextMs);

        if (!MakePlayer(tree)) {
            std::printf("could not make the player on P: again\n");
            return 1;
        }
        EngineRun engine = RunEngine();
        std::string problem = CheckDatabase(kPlayerDrive, kPlayerDrive);
        if (!engine.done || !problem.empty()) {
            std::printf("the engine's run %d failed: %s\n", i + 1, problem.c_str());
            return 1;
        }
        engineTotals.push_back(engine.totalMs);
        double inside = 0;
        for (int kind = 0; kind < TimedFileSystem::kKinds; ++kind) {
            engineFs[kind].push_back(engine.fsMs[kind]);
            inside += engine.fsMs[kind];
        }
        engineOwn.push_back(engine.totalMs - inside);
        for (int s = 0; s < 4; ++s)
            engineSteps[s].push_back(engine.stepMs[s]);
        engineTexts = engine.texts;
        // The renames as the engine timed them inside the file system, on the same tree.
        floors.push_back(2 * walk + engine.fsMs[TimedFileSystem::kRename]);
        ratios.push_back(program.ms / floors.back());
    }

    double walk = Median(walks);
    double program = Median(programs);
    double ratio = program / Median(floors);
    auto row = [walk](const char* what, const std::vector<double>& values) {
        std::printf("  %8.1f ms %6.2f x walk  %s  [%s]\n", Median(values), Median(values) / walk,
                    what, Runs(values).c_str());
    };
    std::printf(
        "  bare walk: FindFirstFileW/FindNextFileW over P:\\, %zu entries, the mean of one "
        "walk just before and one just after each run of the program\n",
        walkEntries);
    row("bare walk", walks);
    row("floor: two bare walks + the renames the tree needs", floors);
    row("Zorbel.exe, click on \"开始\" to \"完成\"", programs);
    std::printf(
        "  Zorbel.exe / floor %.2f (goal <= %.2f: %s); each run against its own floor [%s]; %zu "
        "distinct status texts caught by polling\n",
        ratio, kRatioGoal, ratio <= kRatioGoal ? "met" : "NOT met", Runs(ratios, 2).c_str(),
        textsSeen);
    std::printf("  where the time goes:\n");
    row("walk with PathIsDirectoryW per entry (what each scan asks)", testedWalks);
    row("Zorbel.exe on an empty player, click to its first text", emptyFirstTexts);
    row("Zorbel.exe on an empty player, click to \"完成\"", emptyPrograms);
    char label[80];
    std::snprintf(label, sizeof label, "the engine in this process, no window (%zu texts)",
                  engineTexts);
    row(label, engineTotals);
    const char* names[] = {"  rename scan", "  rename pass", "  track scan", "  database"};
    for (int s = 0; s < 4; ++s)
        row(names[s], engineSteps[s]);
    const char* kinds[] = {"  inside the file system: listing folders",
                           "  inside the file system: directory tests (PathIsDirectoryW)",
                           "  inside the file system: existence tests (PathFileExistsW)",
                           "  inside the file system: renames (MoveFileExW)",
                           "  inside the file system: the database file"};
    for (int kind = 0; kind < TimedFileSystem::kKinds; ++kind)
        row(kinds[kind], engineFs[kind]);
    row("  the engine's own work (the rest)", engineOwn);
    return 0;
}
