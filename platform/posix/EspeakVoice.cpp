#include "EspeakVoice.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace {

// UTF-8 for the program; a unit no text can hold (a lone surrogate) is said as nothing.
std::string Utf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xE000) {
            if (c >= 0xDC00 || i + 1 == text.size() || text[i + 1] < 0xDC00 ||
                text[i + 1] >= 0xE000)
                continue;
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// More than ten seconds of sound at 22.05 kHz: a name that says more is cut by the engine anyway.
constexpr size_t kMostOutput = 2u << 20;

long long NowMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

// The program's standard output, its exit status, and whether it ran at all. `input` goes to its
// standard input; its errors go nowhere. It runs with the signals a new program expects (the
// command holds Ctrl-C and the like for a thread of its own, and a blocked mask is inherited), in
// a process group of its own (Ctrl-C is the command's to answer: the name being said is finished,
// then the speaking stops), and is killed when it takes longer than `timeoutMs`.
bool RunProgram(const std::vector<std::string>& args, const std::string& input, int timeoutMs,
                std::string& output, int& status) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        return false;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return false;
    }
    std::vector<char*> argv;
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(in[0]);
    close(out[1]);
    if (spawned != 0) {
        close(in[1]);
        close(out[0]);
        return false;
    }
    // A text is far less than a pipe holds: written whole before the output is read.
    for (size_t done = 0; done < input.size();) {
        ssize_t wrote = write(in[1], input.data() + done, input.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            break;
        done += static_cast<size_t>(wrote);
    }
    close(in[1]);
    const long long deadline = NowMs() + timeoutMs;
    bool killed = false;
    char buffer[65536];
    for (;;) {
        const long long left = deadline - NowMs();
        struct pollfd ready = {out[0], POLLIN, 0};
        int polled = left > 0 ? poll(&ready, 1, static_cast<int>(left)) : 0;
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0 || output.size() >= kMostOutput) {
            kill(pid, SIGKILL);
            killed = true;
            break;
        }
        ssize_t got = read(out[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        output.append(buffer, static_cast<size_t>(got));
    }
    close(out[0]);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return !killed;
}

}  // namespace

const char* EspeakVoice::VoiceName(SpokenLanguage language) {
    return language == SpokenLanguage::Chinese ? "cmn-latn-pinyin" : "en-us";
}

bool EspeakVoice::Available() {
    if (m_available >= 0)
        return m_available != 0;
    std::string list;
    int status = 0;
    m_available = RunProgram({m_program, "--voices"}, "", kTimeoutMs, list, status) &&
                  WIFEXITED(status) && WEXITSTATUS(status) == 0;
    // Each line: priority, language, age and gender, name, file, other languages.
    for (size_t at = 0; m_available && at < list.size();) {
        size_t end = list.find('\n', at);
        end = end == std::string::npos ? list.size() : end;
        std::string line = list.substr(at, end - at);
        at = end + 1;
        size_t first = line.find_first_not_of(' ');
        size_t gap = first == std::string::npos ? std::string::npos : line.find(' ', first);
        size_t start =
            gap == std::string::npos ? std::string::npos : line.find_first_not_of(' ', gap);
        if (start == std::string::npos)
            continue;
        std::string name = line.substr(start, line.find(' ', start) - start);
        for (auto language : {SpokenLanguage::Chinese, SpokenLanguage::English})
            m_voices[static_cast<int>(language)] |= name == VoiceName(language);
    }
    return m_available != 0;
}

VoiceResult EspeakVoice::Speak(std::u16string_view text, SpokenLanguage language,
                               SpokenSound& out) {
    if (!Available() || !m_voices[static_cast<int>(language)])
        return VoiceResult::NoVoice;
    // UTF-8 on standard input (-b 1): a name is never taken for an option.
    const std::string input = Utf8(text);
    std::string wave;
    int status = 0;
    if (!RunProgram({m_program, "-v", VoiceName(language), "-b", "1", "--stdout"}, input,
                    kTimeoutMs, wave, status) ||
        !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return VoiceResult::Failed;
    return ReadSpokenWave(reinterpret_cast<const uint8_t*>(wave.data()), wave.size(), out)
               ? VoiceResult::Spoken
               : VoiceResult::Failed;
}
