// What the benchmarks share: a status label that only counts, the answers of the location check
// for a program in the player's top folder, the benchmarks' player laid out in the tests'
// in-memory file system, a run timed step by step, and a few printing helpers.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "run/Location.h"
#include "base/Messages.h"
#include "PlayerTree.h"
#include "base/StatusLabel.h"
#include "run/SyncJob.h"
#include "TimedFileSystem.h"
#if !defined(_WIN32)
#include "MemoryFileSystem.h"
#endif

// Drive P:, the program in its top folder, the database in P:\iPod_Control\iTunes.
inline constexpr char16_t kBenchProgramPath[] = u"P:\\Zorbel.exe";
inline constexpr char16_t kBenchRoot[] = u"P:";
inline constexpr char16_t kBenchDatabase[] = u"P:\\iPod_Control\\iTunes\\iTunesSD";

// Keeps the last text as the real label does, so a text costs what it costs in the program.
class CountingLabel : public IStatusLabel {
public:
    int SetLinkText(std::u16string_view text, int command) override {
        ++texts;
        last = text;
        this->command = command;
        return 1;
    }
    int SetPlain(int flag) override {
        plain = flag;
        return 1;
    }
    void InvalidateParent() override { ++repaints; }
    void SetProgress(RunPhase, size_t, std::u16string_view) override {}
    void SetOutcome(RunOutcome ended, int error) override {
        outcome = ended;
        systemError = error;
    }

    size_t texts = 0;
    size_t repaints = 0;
    std::u16string last;
    int command = -1;
    int plain = 0;
    std::optional<RunOutcome> outcome;
    int systemError = 0;
};

class PlayerProbe : public ILocationProbe {
public:
    std::u16string ProgramPath() override { return kBenchProgramPath; }
    bool IsRemovableDrive(const std::u16string&) override { return true; }
};

#if !defined(_WIN32)
// The player before its first run: the database folder, the program, then the music, each
// folder's entries listed in the order made. Files are empty: only names matter to a run.
inline void LayOutPlayer(MemoryFileSystem& fs, const PlayerTree& tree) {
    auto db = OldPlayerDatabase();
    fs.AddFile(kBenchDatabase, Bytes(db.begin(), db.end()));
    fs.AddFile(kBenchProgramPath);
    std::u16string path = std::u16string(kBenchRoot) + u"\\";
    for (const auto& item : tree.Items()) {
        path.resize(3);
        path += item.path;
        if (item.folder)
            fs.AddFolder(path);
        else
            fs.AddFile(path);
    }
}
#endif

inline double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Where a run's time goes: its four steps in this process, made by the job's own entry point,
// each timed, and the real time inside the file system.
struct EngineRun {
    double stepMs[4] = {};
    double totalMs = 0;
    double fsMs[TimedFileSystem::kKinds] = {};  // by kind
    size_t texts = 0;
    bool done = false;
};

inline EngineRun TimeEngineSteps(IFileSystem& platform, ILocationProbe& probe) {
    TimedFileSystem fs(platform);
    CountingLabel label;
    CSyncJob job(fs);
    job.SetStatusLabel(&label);
    job.CheckLocation(probe);
    fs.Reset();
    label.texts = 0;
    EngineRun run;
    auto start = std::chrono::steady_clock::now();
    auto step = start;
    // Taking the lock, one call, counts to the first step.
    job.Run([&](int index) {
        run.stepMs[index] = MillisecondsSince(step);
        step = std::chrono::steady_clock::now();
    });
    run.totalMs = MillisecondsSince(start);
    for (int kind = 0; kind < TimedFileSystem::kKinds; ++kind)
        run.fsMs[kind] = fs.Ms(static_cast<TimedFileSystem::Kind>(kind));
    run.texts = label.texts;
    run.done = label.last == kMsgDone;
    return run;
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Figures from a sanitized build measure the sanitizer; say so rather than print them silently.
inline bool SanitizedBuild() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}
