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

#include "Check.h"
#include "PlayerSearch.h"
#include "PosixFileSystem.h"
#include "Progress.h"
#include "Strings.h"
#include "SyncJob.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;
constexpr int kExitRepair = 5;
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
class HeldSignals {
public:
    HeldSignals() {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            sigaddset(&held, signal);
        pthread_sigmask(SIG_BLOCK, &held, &m_old);
        ::signal(SIGPIPE, SIG_IGN);
    }
    ~HeldSignals() { pthread_sigmask(SIG_SETMASK, &m_old, nullptr); }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

private:
    sigset_t m_old;
};

// The run's outcome as an exit code, with the summary or the line that says what to do.
int Outcome(const Progress& progress, const CSyncJob& job, const std::string& top, double seconds) {
    switch (progress.Outcome()) {
        case RunOutcome::Done:
            printf(kSummary, Counted(job.m_lstPaths.Count(), "track", "tracks").c_str(),
                   Counted(job.RenamedFiles(), "file", "files").c_str(),
                   Counted(job.RenamedFolders(), "folder", "folders").c_str(), seconds);
            return kExitDone;
        case RunOutcome::PlayerBusy:
            fputs(kErrBusy, stderr);
            break;
        case RunOutcome::LockUnavailable:
            fprintf(stderr, kErrLock, EscapeControls(top).c_str(),
                    strerror(progress.SystemError()));
            break;
        case RunOutcome::ReadFailed:
            fputs(kErrRead, stderr);
            break;
        case RunOutcome::RenameFailed:
            fprintf(stderr, kErrRename, strerror(progress.SystemError()));
            break;
        case RunOutcome::DatabaseNotDurable:
            fputs(kErrNotDurable, stderr);
            break;
        case RunOutcome::DatabaseNotWritten:
            fputs(kErrDatabase, stderr);
            break;
        case RunOutcome::NeedsRepair:
            fprintf(stderr, kErrRepair, DisplayText(job.SharedNames().first, kDrive, top).c_str(),
                    DisplayText(job.SharedNames().second, kDrive, top).c_str());
            return kExitRepair;
        case RunOutcome::Refused:
            fputs(kErrNoStart, stderr);
            break;
    }
    return kExitFailed;
}

int Run(const std::string& folder) {
    PlayerPlace place;
    SearchOutcome found = FindPlayer(folder, place);
    // Names are shown, never obeyed: a folder name cannot drive the terminal.
    const std::string shown = EscapeControls(folder);
    if (found != SearchOutcome::Found) {
        fprintf(stderr, found == SearchOutcome::NoSuchFolder ? kErrNoFolder : kErrNoPlayer,
                shown.c_str());
        return kExitRefused;
    }
    PosixFileSystem fs(place.top, kDrive);
    Progress progress(stdout, TerminalWidth(), kDrive, place.top);
    CSyncJob job(fs);
    job.SetStatusLabel(&progress);
    CommandProbe probe(kDrive, place.below);
    // The engine's own check decides, so the command refuses exactly where the program does.
    if (!job.CheckLocation(probe)) {
        fprintf(stderr, RefusalLine(job.Location()), shown.c_str());
        return kExitRefused;
    }
    printf(kPlayerLine, EscapeControls(place.top).c_str());
    fflush(stdout);

    HeldSignals held;
    auto started = std::chrono::steady_clock::now();
    if (!job.StartSync()) {
        fputs(kErrNoStart, stderr);
        return kExitFailed;
    }
    job.WaitForRun();
    progress.Finish();
    int code =
        Outcome(progress, job, place.top,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    fflush(stdout);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    UseTerminalLocale();
    std::string folder = ".";
    int folders = 0;
    bool options = true;
    bool check = false;
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
        } else if (options && strcmp(arg, "--check") == 0) {
            check = true;
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
        return check ? CheckPlayerCommand(folder) : Run(folder);
    } catch (const std::bad_alloc&) {
        fputs("zorbel: out of memory\n", stderr);
        return kExitFailed;
    }
}
