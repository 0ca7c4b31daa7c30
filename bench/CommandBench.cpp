// The zorbel command on a real folder tree of this system's disk, beside the least a run of it
// must do: two bare walks (one listing per folder, nothing else; the renames change the tree, so
// it is listed twice), the renames it needs, each made durable, and the database written and made
// durable. Usage:
// bench_command FOLDER [TRACKS] [ROUNDS]; FOLDER is emptied and refilled. With --on-player, the
// floor of a slow FAT player instead (see OnPlayer).
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "database/Database.h"
#include "HostNames.h"
#include "PlayerSearch.h"
#include "PlayerTree.h"
#include "PosixFileSystem.h"
#include "record/EarlierRenames.h"
#include "run/SyncJob.h"
#include "TimedFileSystem.h"

extern char** environ;

namespace {

constexpr double kRatioGoal = 1.25;

std::string HostRelative(const std::u16string& path) {
    std::string bytes;
    NameToHost(path, bytes);
    for (char& byte : bytes)
        if (byte == '\\')
            byte = '/';
    return bytes;
}

bool WriteFile(const std::string& path, const void* data, size_t size, bool sync = false) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = write(fd, data, size) == static_cast<ssize_t>(size) && (!sync || fsync(fd) == 0);
    return close(fd) == 0 && ok;
}

void RemoveFolder(const std::string& folder) {
    std::string command = "rm -rf '" + folder + "'";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", folder.c_str());
}

bool LayOut(const std::string& top, const std::vector<TreeItem>& items) {
    RemoveFolder(top);
    bool ok = mkdir(top.c_str(), 0755) == 0 && mkdir((top + "/iPod_Control").c_str(), 0755) == 0 &&
              mkdir((top + "/iPod_Control/iTunes").c_str(), 0755) == 0;
    auto db = OldPlayerDatabase();
    ok = ok && WriteFile(top + "/iPod_Control/iTunes/iTunesSD", db.data(), db.size());
    for (const auto& item : items) {
        std::string path = top + "/" + HostRelative(item.path);
        ok = ok && (item.folder ? mkdir(path.c_str(), 0755) == 0
                                : WriteFile(path, path.data(), path.size()));
    }
    return ok;
}

// One listing per folder and the type the listing gives; nothing else.
size_t BareWalk(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return 0;
    size_t entries = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.' &&
            (entry->d_name[1] == '\0' || (entry->d_name[1] == '.' && entry->d_name[2] == '\0')))
            continue;
        ++entries;
        if (entry->d_type == DT_DIR)
            entries += BareWalk(folder + "/" + entry->d_name);
    }
    closedir(dir);
    return entries;
}

bool Fsync(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY);
    bool ok = fd >= 0 && fsync(fd) == 0;
    close(fd);
    return ok;
}

// The renames the tree needs, as a run makes them: each wide track, then its wide album. With
// `syncMs`, each is made durable as on FAT (the renamed item, then its folder), and the time the
// syncs took is added there.
size_t NeededRenames(const std::string& top, const std::vector<TreeItem>& items,
                     double* syncMs = nullptr) {
    size_t renames = 0;
    auto move = [&](const std::string& from, const std::string& to) {
        if (rename(from.c_str(), to.c_str()) != 0)
            return;
        ++renames;
        if (syncMs) {
            auto start = std::chrono::steady_clock::now();
            Fsync(to) && Fsync(to.substr(0, to.rfind('/')));
            *syncMs += MillisecondsSince(start);
        }
    };
    std::u16string album;
    int fileNumber = 0;
    auto renameAlbum = [&] {
        if (!album.empty() && album.find(u"专辑") != std::u16string::npos) {
            std::string from = top + "/" + HostRelative(album);
            move(from, from.substr(0, from.rfind('/')) + "/ST_DIR_1");
        }
    };
    for (const auto& item : items) {
        if (item.folder) {
            renameAlbum();
            album = item.path;
            fileNumber = 0;
        } else if (item.path.find(u"月亮") != std::u16string::npos) {
            std::string from = top + "/" + HostRelative(item.path);
            move(from, from.substr(0, from.rfind('/')) + "/ST_FILE_" +
                           std::to_string(++fileNumber) + ".mp3");
        }
    }
    renameAlbum();
    return renames;
}

// The command as a user starts it, its output going nowhere; -1 when it fails.
double RunCommand(const std::string& top, const char* command = ZORBEL_COMMAND) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {command, top.c_str(), nullptr};
    auto start = std::chrono::steady_clock::now();
    pid_t pid;
    int status = 0;
    bool ok =
        posix_spawn(&pid, command, &actions, nullptr, const_cast<char**>(argv), environ) == 0 &&
        waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    double ms = MillisecondsSince(start);
    posix_spawn_file_actions_destroy(&actions);
    return ok ? ms : -1;
}

// The database alone, as a run makes it durable: written, synced, moved over the old one, and
// the folder synced.
double DatabaseAlone(const std::string& top, size_t tracks) {
    std::vector<uint8_t> bytes(kDbHeaderSize + kDbRecordSize * tracks, 0x41);
    std::string db = top + "/iPod_Control/iTunes/iTunesSD";
    auto start = std::chrono::steady_clock::now();
    bool ok = WriteFile(db + ".new", bytes.data(), bytes.size(), true) &&
              rename((db + ".new").c_str(), db.c_str()) == 0;
    int fd = open((top + "/iPod_Control/iTunes").c_str(), O_RDONLY | O_DIRECTORY);
    ok = ok && fd >= 0 && fsync(fd) == 0;
    close(fd);
    return ok ? MillisecondsSince(start) : -1;
}

// The engine's four steps in this process on the POSIX file system, with a label that only
// counts: where the command's time goes.
EngineRun RunEngine(const std::string& top) {
    PosixFileSystem posix(top, u"P:");
    CommandProbe probe(u"P:", "");
    return TimeEngineSteps(posix, probe);
}

// What every run pays before it renames to find items an earlier run left under two names: one
// open of a record that is not there; and after a cut, the record of a whole run's renames read and
// each pair's two names looked up (none shares: the cut fell between two renames). Median of 5.
void DetectionCost(const std::string& top, const std::vector<TreeItem>& items) {
    PosixFileSystem fs(top, u"P:");
    const std::u16string db = u"P:\\iPod_Control\\iTunes\\iTunesSD";
    auto timed = [&] {
        std::vector<double> ms;
        for (int round = 0; round < 5; ++round) {
            auto start = std::chrono::steady_clock::now();
            ReadEarlierRenames(fs, db);
            ms.push_back(MillisecondsSince(start));
        }
        return Median(ms);
    };
    double none = timed();
    std::vector<RecordEntry> pairs;
    for (const auto& item : items) {
        std::u16string from = u"P:\\" + item.path;
        if (!item.folder && item.path.find(u"月亮") != std::u16string::npos)
            pairs.push_back({from, from.substr(0, from.rfind(u'\\')) + u"\\ST_FILE_1.mp3",
                             IdentifyFile(fs, from)});
    }
    auto bytes = EncodeRenameRecord(pairs);
    std::string record = top + "/iPod_Control/iTunes/iTunesSD.renames";
    if (!WriteFile(record, bytes.data(), bytes.size()))
        return;
    double cut = timed();
    unlink(record.c_str());
    std::printf(
        "  finding items under two names before the renames: %.3f ms with no record (every "
        "run), %.1f ms with a cut run's record of %zu renames\n",
        none, cut, pairs.size());
}

// On a player in a virtual machine whose disk writes are throttled like a slow player's, mounted
// afresh: the floor (the renames the tree needs, each made durable, and the database written
// once and made durable) on one tree, then the command on a second tree laid out alike.
int OnPlayer(const std::string& top, size_t tracks, const char* command) {
    PlayerTree tree(tracks);
    auto items = tree.Items();
    std::string floorTop = top + "/floor", runTop = top + "/run";
    auto start = std::chrono::steady_clock::now();
    size_t entries = BareWalk(floorTop);
    double walk = MillisecondsSince(start);
    double syncs = 0;
    start = std::chrono::steady_clock::now();
    size_t renamed = NeededRenames(floorTop, items, &syncs);
    double renames = MillisecondsSince(start);
    double database = DatabaseAlone(floorTop, tracks);
    double run = RunCommand(runTop, command);
    if (entries != items.size() + 3 || renamed != tree.RenamesNeeded() || database < 0 || run < 0) {
        std::fprintf(stderr, "the floor or the command did not complete\n");
        return 1;
    }
    double floor = renames + database;
    std::printf(
        "%zu tracks, %zu renames: command %.0f ms; floor %.0f ms (renames made durable "
        "%.0f ms, of it %.0f ms in their syncs; the database made durable %.0f ms); "
        "ratio %.3f (goal <= %.2f: %s); a cold bare walk %.0f ms\n",
        tracks, renamed, run, floor, renames, syncs, database, run / floor, kRatioGoal,
        run / floor <= kRatioGoal ? "met" : "NOT met", walk);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: bench_command FOLDER [TRACKS] [ROUNDS]\n"
                     "       bench_command --lay-out FOLDER TRACKS\n"
                     "       bench_command --on-player FOLDER TRACKS COMMAND\n");
        return 2;
    }
    // The two trees of a player for OnPlayer, laid out here and copied onto its image.
    if (std::string(argv[1]) == "--lay-out" && argc == 4) {
        auto items = PlayerTree(std::strtoul(argv[3], nullptr, 10)).Items();
        mkdir(argv[2], 0755);
        return LayOut(std::string(argv[2]) + "/floor", items) &&
                       LayOut(std::string(argv[2]) + "/run", items)
                   ? 0
                   : 1;
    }
    if (std::string(argv[1]) == "--on-player" && argc == 5)
        return OnPlayer(argv[2], std::strtoul(argv[3], nullptr, 10), argv[4]);
    std::string base = argv[1];
    size_t tracks = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 20000;
    int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    PlayerTree tree(tracks);
    auto items = tree.Items();
    std::printf(
        "The zorbel command on this system's disk: %zu tracks in %zu albums and %zu artist "
        "folders, %zu renames needed; %d rounds on fresh trees, caches warm, the disk synced "
        "before each timing\n",
        tracks, tree.Albums(), tree.Artists(), tree.RenamesNeeded(), rounds);
    if (SanitizedBuild())
        std::printf("warning: built with sanitizers; these times are not representative\n");
    std::printf("  %5s %9s %11s %9s %11s %7s %12s\n", "round", "walk ms", "renames ms", "floor ms",
                "command ms", "ratio", "database ms");
    std::vector<double> walks, renames, floors, commands, ratios, databases;
    std::vector<EngineRun> splits;
    mkdir(base.c_str(), 0755);
    std::string floorTop = base + "/floor", runTop = base + "/run";
    for (int round = 0; round < rounds; ++round) {
        if (!LayOut(floorTop, items) || !LayOut(runTop, items)) {
            std::fprintf(stderr, "could not lay out the trees under %s\n", base.c_str());
            return 1;
        }
        BareWalk(floorTop);  // every timing starts from the same warm caches
        BareWalk(runTop);
        sync();
        auto start = std::chrono::steady_clock::now();
        size_t entries = BareWalk(floorTop);
        walks.push_back(MillisecondsSince(start));
        // Made durable one by one, as a run must (on FAT each is the sectors of one rename).
        double syncMs = 0;
        start = std::chrono::steady_clock::now();
        size_t renamed = NeededRenames(floorTop, items, &syncMs);
        renames.push_back(MillisecondsSince(start));
        sync();
        double command = RunCommand(runTop);
        struct stat db;
        if (command < 0 || renamed != tree.RenamesNeeded() || entries != items.size() + 3 ||
            stat((runTop + "/iPod_Control/iTunes/iTunesSD").c_str(), &db) != 0 ||
            static_cast<size_t>(db.st_size) != kDbHeaderSize + kDbRecordSize * tracks) {
            std::fprintf(stderr, "round %d: the command or the floor did not complete\n", round);
            return 1;
        }
        sync();
        databases.push_back(DatabaseAlone(floorTop, tracks));
        // The same run again in this process, on the first tree laid out afresh.
        if (!LayOut(floorTop, items))
            return 1;
        BareWalk(floorTop);
        sync();
        splits.push_back(RunEngine(floorTop));
        if (!splits.back().done) {
            std::fprintf(stderr, "round %d: the engine's run in this process did not complete\n",
                         round);
            return 1;
        }
        commands.push_back(command);
        // The run lists the tree twice (the renames change it) and makes its database durable.
        floors.push_back(2 * walks.back() + renames.back() + databases.back());
        ratios.push_back(command / floors.back());
        std::printf("  %5d %9.2f %11.2f %9.2f %11.2f %7.3f %12.2f\n", round + 1, walks.back(),
                    renames.back(), floors.back(), command, ratios.back(), databases.back());
    }
    RemoveFolder(runTop);
    double ratio = Median(ratios);
    std::printf("  %5s %9.2f %11.2f %9.2f %11.2f %7.3f %12.2f\n", "med", Median(walks),
                Median(renames), Median(floors), Median(commands), ratio, Median(databases));
    std::printf(
        "  command / (two bare walks + renames + the database made durable) = %.3f (goal <= %.2f: "
        "%s)\n",
        ratio, kRatioGoal, ratio <= kRatioGoal ? "met" : "NOT met");

    std::printf("  where the time goes: the engine in this process, no output (median ms)\n");
    auto median = [&](auto get) {
        std::vector<double> values;
        for (const auto& split : splits)
            values.push_back(get(split));
        return Median(values);
    };
    const char* steps[] = {"rename scan", "rename pass", "track scan", "database"};
    double total = median([](const EngineRun& s) { return s.totalMs; });
    std::printf("    %9.2f  whole run (the command adds its start, its output and its exit)\n",
                total);
    for (int step = 0; step < 4; ++step)
        std::printf("    %9.2f    %s\n", median([&](const EngineRun& s) { return s.stepMs[step]; }),
                    steps[step]);
    const char* kinds[] = {"listing folders", "directory tests", "existence tests", "renames",
                           "the database file"};
    double inside = 0;
    for (int kind = 0; kind < TimedFileSystem::kKinds; ++kind) {
        double ms = median([&](const EngineRun& s) { return s.fsMs[kind]; });
        inside += ms;
        std::printf("    %9.2f    inside the file system: %s\n", ms, kinds[kind]);
    }
    std::printf("    %9.2f    the engine's own work and the names' conversion (the rest)\n",
                total - inside);
    if (!LayOut(floorTop, items))
        return 1;
    DetectionCost(floorTop, items);
    RemoveFolder(floorTop);
    return 0;
}
