// The engine on a modelled slow player: what each step of a run asks of the device and what that
// would cost, beside the least any run on that tree must cost; then the engine's real time per
// track as the tree grows.
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <vector>

#include "BenchSupport.h"
#include "database/Database.h"
#include "base/Messages.h"
#include "MemoryFileSystem.h"
#include "RunInvariants.h"
#include "SlowDevice.h"
#include "run/SyncJob.h"
#include "base/Text.h"

namespace {

constexpr double kChunkBytes = 64 * 1024;
constexpr double kRatioGoal = 1.25;

void PrintCountsRow(const char* step, const DeviceCounts& c) {
    std::printf("  %-12s %6" PRIu64 " %8" PRIu64 " %7" PRIu64 " %6" PRIu64 " %6" PRIu64 " %6" PRIu64
                " %6" PRIu64 " %11" PRIu64 " %5" PRIu64 " %5" PRIu64 " %7" PRIu64 " %6" PRIu64
                " %11.2f\n",
                step, c.listings, c.listingSteps, c.isDirectory, c.exists, c.renames, c.creates,
                c.writes, c.bytesWritten, c.flushes, c.closes, c.replaces, c.removes, c.modelledMs);
}

const char* Verdict(bool met) {
    return met ? "met" : "NOT met";
}

void ModelledRun(size_t tracks) {
    PlayerTree tree(tracks);
    MemoryFileSystem fs;
    LayOutPlayer(fs, tree);
    SlowDevice device(fs);
    CountingLabel label;
    CSyncJob job(device);
    job.SetStatusLabel(&label);
    PlayerProbe probe;
    job.CheckLocation(probe);
    device.ResetCounts();

    // The run as the worker makes it, the device's counts taken after each step so each is
    // charged on its own.
    const char* names[] = {"rename scan", "rename pass", "track scan", "database"};
    DeviceCounts marks[5];
    marks[0] = device.Counts();
    job.Run([&](int step) { marks[step + 1] = device.Counts(); });

    std::printf(
        "\n%zu tracks: %zu albums of up to %zu tracks in %zu artist folders; wide-named "
        "tracks %zu, albums %zu, artist folders %zu (these hold no tracks directly)\n",
        tracks, tree.Albums(), PlayerTree::kTracksPerAlbum, tree.Artists(), tree.WideTracks(),
        tree.WideAlbums(), tree.WideArtists());
    std::printf("  %-12s %6s %8s %7s %6s %6s %6s %6s %11s %5s %5s %7s %6s %11s\n", "step", "lists",
                "entries", "is-dir", "exists", "rename", "create", "write", "bytes", "flush",
                "close", "replace", "remove", "modelled ms");
    for (int step = 0; step < 4; ++step)
        PrintCountsRow(names[step], marks[step + 1] - marks[step]);
    const DeviceCounts& total = marks[4];
    PrintCountsRow("whole run", total);

    const DeviceCosts& costs = device.Costs();
    uint64_t dbBytes = kDbHeaderSize + kDbRecordSize * static_cast<uint64_t>(tracks);
    double floorMs =
        static_cast<double>(tree.RenamesNeeded()) * costs.renameMs + costs.WriteMs(dbBytes);
    double ratio = total.modelledMs / floorMs;
    std::printf("  floor: %zu renames x %.0f ms + one write of %" PRIu64
                " bytes (%.0f ms + %.2f ms) = %.2f ms\n",
                tree.RenamesNeeded(), costs.renameMs, dbBytes, costs.writeCallMs,
                costs.BytesMs(dbBytes), floorMs);
    std::printf("  modelled run %.2f ms / floor %.2f ms = %.3f (goal <= %.2f: %s)\n",
                total.modelledMs, floorMs, ratio, kRatioGoal, Verdict(ratio <= kRatioGoal));
    double chunks = static_cast<double>(dbBytes) / kChunkBytes;
    double chunksBegun = std::ceil(chunks);
    const DeviceCounts& db = marks[4] - marks[3];
    std::printf("  write calls: %" PRIu64
                " for %.2f x 64 KiB (%.0f chunks begun): %.3f per "
                "chunk begun, %.3f per full 64 KiB (goal: no more calls than chunks: %s)\n",
                db.writes, chunks, chunksBegun, static_cast<double>(db.writes) / chunksBegun,
                static_cast<double>(db.writes) / chunks,
                Verdict(static_cast<double>(db.writes) <= chunksBegun));

    // The run again as the program starts it, through the worker thread, on a fresh drive, then
    // held to the invariants every test run is held to.
    MemoryFileSystem fs2;
    LayOutPlayer(fs2, tree);
    SlowDevice device2(fs2);
    CountingLabel label2;
    CSyncJob job2(device2);
    job2.SetStatusLabel(&label2);
    job2.CheckLocation(probe);
    RunBaseline baseline = TakeBaseline(fs2, kBenchRoot, kBenchDatabase);
    device2.ResetCounts();
    label2.texts = 0;
    job2.StartSync();
    job2.WaitForRun();

    std::string problem = CheckRun(baseline, fs2, label2.outcome, label2.last, label2.systemError);
    size_t wideNamed = 0;
    for (const auto& path : TracksOnDisk(fs2, kBenchRoot)) {
        size_t album = path.rfind(u'/', path.rfind(u'/') - 1);  // "/artist/album/track"
        wideNamed += HasWideUnits(std::u16string_view(path).substr(album));
    }
    size_t dbSize = fs2.Read(kBenchDatabase).size();
    bool sound = problem.empty() && label2.last == kMsgDone && dbSize == dbBytes &&
                 wideNamed == 0 && job2.m_lstPaths.Count() == tracks;
    std::printf(
        "  check: %s; through the worker thread: %.2f ms modelled, %zu status texts, "
        "database %zu bytes, %zu tracks left with a wide own or album name, last text %s%s%s\n",
        sound ? "run complete" : "RUN INCOMPLETE", device2.Counts().modelledMs, label2.texts,
        dbSize, wideNamed, label2.last == kMsgDone ? "\"done\"" : "not \"done\"",
        problem.empty() ? "" : "; ", problem.c_str());
}

// Real time of a whole run on the in-memory drive, which charges nothing: the engine's own work
// and the in-memory file system's.
void WallTimes() {
    std::printf(
        "\nReal time of a whole run (StartSync to the worker's end), in-memory drive, "
        "no modelled cost:\n");
    std::printf("  %8s %6s %12s %14s %16s\n", "tracks", "runs", "median ms", "us per track",
                "x previous size");
    struct Size {
        size_t tracks;
        int runs;
    };
    double previous = 0;
    for (Size size : {Size{250, 51}, Size{2000, 21}, Size{20000, 7}, Size{200000, 3}}) {
        PlayerTree tree(size.tracks);
        PlayerProbe probe;
        std::vector<double> times;
        for (int run = 0; run < size.runs; ++run) {
            MemoryFileSystem fs;  // a fresh drive each time, made before the clock starts
            LayOutPlayer(fs, tree);
            CountingLabel label;
            CSyncJob job(fs);
            job.SetStatusLabel(&label);
            job.CheckLocation(probe);
            auto start = std::chrono::steady_clock::now();
            job.StartSync();
            job.WaitForRun();
            times.push_back(MillisecondsSince(start));
        }
        double ms = Median(times);
        double perTrack = 1000.0 * ms / static_cast<double>(size.tracks);
        if (previous > 0)
            std::printf("  %8zu %6d %12.3f %14.3f %16.2f\n", size.tracks, size.runs, ms, perTrack,
                        perTrack / previous);
        else
            std::printf("  %8zu %6d %12.3f %14.3f %16s\n", size.tracks, size.runs, ms, perTrack,
                        "-");
        previous = perTrack;
    }
}

// One folder of 20,000 wide-named songs, itself wide-named or not: the record of a renamed folder
// holds its names as they will be, which must cost no more than the renames inside it.
void OneFolder() {
    constexpr size_t kSongs = 20000;
    constexpr double kGoal = 1.5;
    auto time = [](const std::u16string& folder) {
        MemoryFileSystem fs;
        auto db = OldPlayerDatabase();
        fs.AddFile(kBenchDatabase, Bytes(db.begin(), db.end()));
        fs.AddFile(kBenchProgramPath);
        const std::u16string top = std::u16string(kBenchRoot) + u"\\" + folder;
        fs.AddFolder(top);
        for (size_t i = 0; i < kSongs; ++i)
            fs.AddFile(top + u"\\\u6B4C" + FormatNumber(u"%d", static_cast<int>(i)) + u".mp3");
        CountingLabel label;
        CSyncJob job(fs);
        job.SetStatusLabel(&label);
        PlayerProbe probe;
        job.CheckLocation(probe);
        auto start = std::chrono::steady_clock::now();
        job.Run();
        return MillisecondsSince(start);
    };
    const double plain = time(u"Music"), wide = time(u"\u97F3\u4E50");
    std::printf(
        "\n%zu wide-named songs in one folder, in-memory drive: a plain-named folder %.1f ms, "
        "a wide-named one (renamed too) %.1f ms: %.2fx (goal <= %.1fx: %s)\n",
        kSongs, plain, wide, wide / plain, kGoal, Verdict(wide <= kGoal * plain));
}

}  // namespace

int main() {
    if (SanitizedBuild())
        std::printf("warning: built with sanitizers; real times below are not representative\n");
    DeviceCosts costs;
    std::printf("The engine on a modelled slow player\n");
    std::printf(
        "costs: write call %.0f ms + bytes at %.0f MB/s, rename %.0f ms, flush %.0f ms, "
        "create/replace/remove %.0f/%.0f/%.0f ms, close %.0f ms, cached read (opening a "
        "listing, each listing step, existence and folder tests) %.2f ms\n",
        costs.writeCallMs, costs.bytesPerSecond / 1e6, costs.renameMs, costs.flushMs,
        costs.createMs, costs.replaceMs, costs.removeMs, costs.closeMs, costs.cachedReadMs);
    for (size_t tracks : {250, 2000, 20000})
        ModelledRun(tracks);
    WallTimes();
    OneFolder();
    return 0;
}
