#include "HostTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "HostNames.h"
#include "base/Text.h"

extern char** environ;

namespace {

void Walk(const std::string& top, const std::string& relative,
          std::vector<std::pair<std::string, HostBytes>>& files) {
    DIR* dir = opendir((top + "/" + relative).c_str());
    if (!dir)
        return;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        std::string path = relative.empty() ? name : relative + "/" + name;
        struct stat info;
        if (lstat((top + "/" + path).c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode))
            Walk(top, path, files);
        else if (S_ISREG(info.st_mode))
            files.emplace_back(path, ReadHostFile(top + "/" + path));
    }
    closedir(dir);
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(got));
    close(fd);
    return text;
}

}  // namespace

std::string MakeTempFolder() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/zorbel-test-XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

void RemoveTree(const std::string& folder) {
    if (folder.size() < 2)
        return;
    nftw(
        folder.c_str(),
        [](const char* path, const struct stat*, int, struct FTW*) { return remove(path), 0; }, 16,
        FTW_DEPTH | FTW_PHYS);
}

HostBytes ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return HostBytes(std::istreambuf_iterator<char>(in), {});
}

bool WriteHostFile(const std::string& path, const HostBytes& bytes) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0755);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

HostBytes OldDatabaseBytes() {
    return HostBytes(40, 0xA5);
}

bool MakeHostPlayer(const std::string& top, const std::vector<std::string>& paths) {
    bool ok = WriteHostFile(top + "/iPod_Control/iTunes/iTunesSD", OldDatabaseBytes());
    for (const auto& path : paths) {
        if (!path.empty() && path.back() == '/')
            ok = WriteHostFile(top + "/" + path + ".keep", {}) &&
                 remove((top + "/" + path + ".keep").c_str()) == 0 && ok;
        else
            ok = WriteHostFile(top + "/" + path, HostBytes(path.begin(), path.end())) && ok;
    }
    return ok;
}

std::vector<std::pair<std::string, HostBytes>> HostFiles(const std::string& folder) {
    std::vector<std::pair<std::string, HostBytes>> files;
    Walk(folder, "", files);
    return files;
}

std::vector<std::pair<std::string, int64_t>> HostTimes(const std::string& folder) {
    static thread_local std::vector<std::pair<std::string, int64_t>>* times;
    std::vector<std::pair<std::string, int64_t>> found;
    times = &found;
    nftw(
        folder.c_str(),
        [](const char* path, const struct stat* info, int, struct FTW*) {
            times->emplace_back(path,
                                int64_t(info->st_mtim.tv_sec) * 1000000000 + info->st_mtim.tv_nsec);
            return 0;
        },
        16, FTW_PHYS);
    return found;
}

std::vector<std::u16string> HostTracks(const std::string& top, const std::string& below) {
    std::vector<std::u16string> tracks;
    std::string folder = below.empty() ? top : top + "/" + below;
    std::string prefix = below.empty() ? "/" : "/" + below + "/";
    for (const auto& [path, bytes] : HostFiles(folder)) {
        std::u16string name = NameFromHost(prefix + path);
        if (EndsWithMp3(name))
            tracks.push_back(name);
    }
    return tracks;
}

namespace {

std::vector<char*> Argv(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    return argv;
}

// Reads the child's two pipes to their end, then waits for it: its exit code, or -1. Read one
// pipe, then the other: the tests' programs write little to stderr.
int Finish(pid_t pid, int outPipe[2], int errPipe[2], std::string* out, std::string* err) {
    close(outPipe[1]);
    close(errPipe[1]);
    std::string outText = ReadAll(outPipe[0]), errText = ReadAll(errPipe[0]);
    if (out)
        *out = outText;
    if (err)
        *err = errText;
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

}  // namespace

int RunProgram(const std::vector<std::string>& args, std::string* out, std::string* err) {
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    std::vector<char*> argv = Argv(args);
    pid_t pid;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return Finish(spawned == 0 ? pid : -1, outPipe, errPipe, out, err);
}

int RunProgramAs(unsigned user, unsigned group, const std::vector<std::string>& args,
                 std::string* out, std::string* err) {
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
        return -1;
    std::vector<char*> argv = Argv(args);
    constexpr int kCannotSwitch = 125;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        // The group first: once the user has changed, the group can no longer be.
        if (setgroups(0, nullptr) != 0 || setgid(group) != 0 || setuid(user) != 0)
            _exit(kCannotSwitch);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int code = Finish(pid, outPipe, errPipe, out, err);
    return code == kCannotSwitch ? -2 : code;
}

bool SetImmutable(const std::string& path, bool on) {
    return RunProgram({"chattr", on ? "+i" : "-i", path}) == 0;
}
