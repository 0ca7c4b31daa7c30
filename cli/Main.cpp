// The zorbel command: the Windows program's run on a player mounted on Linux or macOS. Parses
// its arguments, finds the player, runs the engine's job with the POSIX file system and a
// printing status line, and turns the outcome into an exit code.
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "Check.h"
#include "Display.h"
#include "EspeakVoice.h"
#include "PlayerSearch.h"
#include "PosixFileSystem.h"
#include "Progress.h"
#include "Report.h"
#include "SpokenNotes.h"
#include "Strings.h"
#include "run/SyncJob.h"

namespace {

constexpr char16_t kDrive[] = u"P:";

size_t TerminalWidth() {
    if (!isatty(STDOUT_FILENO))
        return 0;
    struct winsize size = {};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

// A run is never cut off halfway: Ctrl-C, a hang-up or a kill request is answered at once by a
// thread of its own. Before the run's first change the run ends at once, nothing changed; after
// it the run finishes, and each signal is told why the command waits. The command then ends by the
// first signal. A closed output pipe only loses text.
class SignalAnswer {
public:
    SignalAnswer(Progress& progress, CSyncJob& job) : m_progress(progress), m_job(job) {
        sigemptyset(&m_held);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, kStop})
            sigaddset(&m_held, signal);
        // Blocked before the run's thread starts, so only the answering thread takes them.
        pthread_sigmask(SIG_BLOCK, &m_held, &m_old);
        ::signal(SIGPIPE, SIG_IGN);
        m_thread = std::thread([this] { Answer(); });
    }
    ~SignalAnswer() {
        pthread_kill(m_thread.native_handle(), kStop);
        m_thread.join();
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    SignalAnswer(const SignalAnswer&) = delete;
    SignalAnswer& operator=(const SignalAnswer&) = delete;

    // The first signal that came, once the run is over; 0 for none.
    int Caught() const { return m_caught; }

private:
    static constexpr int kStop = SIGUSR2;  // the run is over: no more answers

    void Answer() {
        for (;;) {
            int signal = 0;
            if (sigwait(&m_held, &signal) != 0 || signal == kStop)
                return;
            int none = 0;  // the first one ends the command
            m_caught.compare_exchange_strong(none, signal);
            // Stopped with nothing changed, the run's last line says so.
            if (!m_job.RequestStop())
                m_progress.Notice(stderr, FormatLine(kNoticeStopping, m_progress.Standing()));
        }
    }

    Progress& m_progress;
    CSyncJob& m_job;
    sigset_t m_held;
    sigset_t m_old;
    std::atomic<int> m_caught{0};
    std::thread m_thread;
};

// Ends the command by the signal that asked it to stop, as if it had come after the run.
void EndBySignal(int signal) {
    fflush(stdout);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

// What a failed run had already renamed, for good: a user must know that names changed.
std::string RenamedNote(const CSyncJob& job) {
    if (job.RenamedFiles() + job.RenamedFolders() == 0)
        return {};
    return FormatLine(
        FormatLine(kRenamedNote, Counted(job.RenamedFiles(), "file", "files")).c_str(),
        Counted(job.RenamedFolders(), "folder", "folders"));
}

// The run's outcome as an exit code, with the summary or the line that says what to do.
int Outcome(const Progress& progress, const CSyncJob& job, const ShownPlayer& player,
            double seconds) {
    const char* reason = progress.SystemError() ? strerror(progress.SystemError()) : "";
    switch (progress.Outcome()) {
        case RunOutcome::Done:
        case RunOutcome::SongsLost: {
            printf(kSummary, Counted(job.m_lstPaths.Count(), "track", "tracks").c_str(),
                   Counted(job.RenamedFiles(), "file", "files").c_str(),
                   Counted(job.RenamedFolders(), "folder", "folders").c_str(), seconds);
            PrintTwoSongs(job.TwoSongs(), player, false);
            PrintSpokenNames(stdout, job.Speech());
            const bool terminal = isatty(STDOUT_FILENO) != 0;
            if (PrintLeftOut(stdout, job.LeftOuts(), player, false, ListLimit(terminal)))
                printf(kAllPaths, kShownOnTerminal, ShellWord(DisplayPath(player.folder)).c_str());
            return job.LeftOuts().empty() ? kExitDone : kExitLeftOut;
        }
        case RunOutcome::PlayerBusy:
            fputs(kErrBusy, stderr);
            break;
        case RunOutcome::LockUnavailable:
            fprintf(stderr, kErrLock, DisplayPath(player.top).c_str(), reason);
            break;
        case RunOutcome::ReadFailed:
            fprintf(stderr, kErrRead, Reason(reason).c_str(), RenamedNote(job).c_str());
            break;
        case RunOutcome::RenameFailed:
            fprintf(stderr, kErrRename, Reason(reason).c_str(), RenamedNote(job).c_str());
            break;
        case RunOutcome::DatabaseNotDurable:
            fprintf(stderr, kErrNotDurable, Reason(reason).c_str());
            return kExitNotConfirmed;
        case RunOutcome::DatabaseNotReplaced:
            fprintf(stderr, kErrNotReplaced, Reason(reason).c_str());
            return kExitNotConfirmed;
        case RunOutcome::DatabaseNotWritten:
            fprintf(stderr, kErrDatabase, Reason(reason).c_str(), RenamedNote(job).c_str());
            break;
        case RunOutcome::OutOfMemory:
            fprintf(stderr, kErrOutOfMemory, RenamedNote(job).c_str());
            break;
        case RunOutcome::Stopped:
            fputs(kErrStopped, stderr);
            break;
        case RunOutcome::NeedsRepair:
            PrintRepair(job.SharedNames(), player, job.AsksAboutSharedNames());
            return kExitNeedsRepair;
        case RunOutcome::Refused:
            fputs(kErrNoStart, stderr);
            break;
    }
    return kExitFailed;
}

int Run(const std::string& folder) {
    PlayerPlace place;
    SearchOutcome found = FindPlayer(folder, place);
    if (found != SearchOutcome::Found) {
        PrintSearchRefusal(found, folder, place);
        return kExitRefused;
    }
    PosixFileSystem fs(place.top, kDrive);
    Progress progress(stdout, TerminalWidth(), kDrive, place.top);
    EspeakVoice voice;
    CSyncJob job(fs);
    job.SetStatusLabel(&progress);
    job.SetVoice(&voice);
    CommandProbe probe(kDrive, place.below);
    // The engine's own check decides, so the command refuses exactly where the program does.
    if (!job.CheckLocation(probe)) {
        fprintf(stderr, RefusalLine(job.Location()), DisplayPath(FolderShown(place)).c_str());
        return kExitRefused;
    }
    printf(kPlayerLine, DisplayPath(place.top).c_str());
    fflush(stdout);

    int code, caught;
    {
        SignalAnswer signals(progress, job);
        auto started = std::chrono::steady_clock::now();
        if (!job.StartSync()) {
            fputs(kErrNoStart, stderr);
            return kExitFailed;
        }
        job.WaitForRun();
        progress.Finish();
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
        code = Outcome(progress, job, {kDrive, place.top, FolderShown(place)}, took.count());
        if (!job.RecordSetAside().empty())
            printf(kRecordSetAside,
                   ShownPath({kDrive, place.top, ""}, job.RecordSetAside()).c_str());
        if (job.RecordNotRemoved())
            printf(kRecordNotRemoved, strerror(job.RecordRemoveError()));
        fflush(stdout);
        caught = signals.Caught();
    }
    if (caught)
        EndBySignal(caught);
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
            fprintf(stderr, kErrBadOption, EscapeControls(arg).c_str());
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
