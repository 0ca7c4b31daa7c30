// The zorbel command: the Windows program's run on a player mounted on Linux or macOS. Parses
// its arguments, finds the player, runs the engine's job with the POSIX file system and a
// printing status line, and turns the outcome into an exit code.
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "Messages.h"
#include "PlayerSearch.h"
#include "PosixFileSystem.h"
#include "Progress.h"
#include "RenameCount.h"
#include "Strings.h"
#include "SyncJob.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;
constexpr char16_t kDrive[] = u"P:";

size_t TerminalWidth() {
    if (!isatty(STDOUT_FILENO))
        return 0;
    struct winsize size = {};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

// A run is never cut off halfway: Ctrl-C, a hang-up or a kill request waits for its end (the
// signals stay pending and act once the run is over), and a closed output pipe only loses text.
void HoldSignals(sigset_t& old) {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGHUP);
    sigaddset(&held, SIGQUIT);
    pthread_sigmask(SIG_BLOCK, &held, &old);
    signal(SIGPIPE, SIG_IGN);
}

int Run(const std::string& folder) {
    PlayerPlace place;
    switch (FindPlayer(folder, place)) {
        case SearchOutcome::NoSuchFolder:
            fprintf(stderr, kErrNoFolder, folder.c_str());
            return kExitRefused;
        case SearchOutcome::NoPlayer:
            fprintf(stderr, kErrNoPlayer, folder.c_str());
            return kExitRefused;
        case SearchOutcome::Found:
            break;
    }
    PosixFileSystem disk(place.top, kDrive);
    RenameCount fs(disk);
    Progress progress(stdout, TerminalWidth(), kDrive, place.top);
    CSyncJob job(fs);
    job.SetStatusLabel(&progress);
    CommandProbe probe(kDrive, place.below);
    // The engine's own check decides, so the command refuses exactly where the program does.
    if (!job.CheckLocation(probe)) {
        bool wide = progress.LastText() == kMsgFolderNotSupported;
        fprintf(stderr, wide ? kErrWideFolder : kErrPathTooLong, folder.c_str());
        return kExitRefused;
    }
    printf(kPlayerLine, place.top.c_str());
    fflush(stdout);

    auto started = std::chrono::steady_clock::now();
    sigset_t old;
    HoldSignals(old);
    bool ran = job.StartSync() != 0;
    job.WaitForRun();
    progress.Finish();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    int code = kExitFailed;
    const std::u16string& last = progress.LastText();
    if (!ran) {
        fprintf(stderr, "%s", kErrNoStart);
    } else if (last == kMsgDone) {
        printf(kSummary, job.m_lstPaths.Count(), fs.Files(), fs.Folders(), seconds);
        code = kExitDone;
    } else if (last == kMsgPlayerBusy) {
        fprintf(stderr, "%s", kErrBusy);
    } else if (last == kMsgReadFailed) {
        fprintf(stderr, "%s", kErrRead);
    } else {
        fprintf(stderr, "%s", kErrDatabase);
    }
    fflush(stdout);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = ".";
    int folders = 0;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (options && strcmp(arg, "--") == 0) {
            options = false;
        } else if (options && (strcmp(arg, "-h") == 0 || strcmp(arg, "--help") == 0)) {
            fputs(kUsage, stdout);
            return kExitDone;
        } else if (options && strcmp(arg, "--version") == 0) {
            printf("%s\n", kVersion);
            return kExitDone;
        } else if (options && arg[0] == '-' && arg[1] != '\0') {
            fprintf(stderr, kErrBadOption, arg);
            return kExitRefused;
        } else if (++folders > 1) {
            fputs(kErrTooMany, stderr);
            return kExitRefused;
        } else {
            folder = arg;
        }
    }
    try {
        return Run(folder);
    } catch (const std::bad_alloc&) {
        fputs("zorbel: out of memory\n", stderr);
        return kExitFailed;
    }
}
