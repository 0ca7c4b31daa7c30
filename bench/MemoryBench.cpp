// Peak heap of a whole run beside the bytes of the player paths it collects. Every allocation of
// the process goes through the counting operator new below. The tree is held in the tests'
// in-memory file system, made before the count starts; the run's figure is the heap in use at
// its peak above the heap before it, with the database's bytes going to the device, not the heap.
#include <malloc.h>

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "BenchSupport.h"
#include "database/Database.h"
#include "base/Messages.h"
#include "MemoryFileSystem.h"
#include "RunInvariants.h"
#include "run/SyncJob.h"

namespace {

// Bytes of the blocks malloc handed out, as it sizes them (at least what was asked).
std::atomic<int64_t> g_heapNow{0};
std::atomic<int64_t> g_heapPeak{0};

void* Counted(void* block) {
    if (!block)
        throw std::bad_alloc();
    int64_t now = g_heapNow += static_cast<int64_t>(malloc_usable_size(block));
    int64_t peak = g_heapPeak.load();
    while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
    }
    return block;
}

void Uncounted(void* block) noexcept {
    if (!block)
        return;
    g_heapNow -= static_cast<int64_t>(malloc_usable_size(block));
    std::free(block);
}

void* AlignedBlock(size_t size, std::align_val_t align) {
    size_t alignment = static_cast<size_t>(align);
    // aligned_alloc wants a size that is a multiple of the alignment.
    return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
}

}  // namespace

void* operator new(size_t size) {
    return Counted(std::malloc(size ? size : 1));
}
void* operator new[](size_t size) {
    return Counted(std::malloc(size ? size : 1));
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return Counted(std::malloc(size ? size : 1));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void* operator new(size_t size, std::align_val_t align) {
    return Counted(AlignedBlock(size ? size : 1, align));
}
void* operator new[](size_t size, std::align_val_t align) {
    return Counted(AlignedBlock(size ? size : 1, align));
}
void operator delete(void* block) noexcept {
    Uncounted(block);
}
void operator delete[](void* block) noexcept {
    Uncounted(block);
}
void operator delete(void* block, size_t) noexcept {
    Uncounted(block);
}
void operator delete[](void* block, size_t) noexcept {
    Uncounted(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    Uncounted(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    Uncounted(block);
}
void operator delete(void* block, size_t, std::align_val_t) noexcept {
    Uncounted(block);
}
void operator delete[](void* block, size_t, std::align_val_t) noexcept {
    Uncounted(block);
}

namespace {

constexpr double kRatioGoal = 3.0;

// The in-memory drive with one difference: the database's bytes are counted, not kept, as a
// real device takes them off the heap. Everything else (the record of renames) passes through.
class DatabaseToDevice : public ForwardingFileSystem {
public:
    using ForwardingFileSystem::ForwardingFileSystem;
    uint64_t written = 0;

    std::unique_ptr<IOutputFile> CreateOutput(const std::u16string& path) override {
        auto file = m_inner.CreateOutput(path);
        bool database = path.size() > 4 && path.compare(path.size() - 4, 4, u".new") == 0;
        if (!file || !database)
            return file;
        return std::make_unique<Sink>(*this, std::move(file));
    }

private:
    class Sink : public IOutputFile {
    public:
        Sink(DatabaseToDevice& fs, std::unique_ptr<IOutputFile> file)
            : m_fs(fs), m_file(std::move(file)) {}
        size_t Write(const uint8_t*, size_t size) override {
            m_fs.written += size;
            return size;
        }
        bool Flush() override { return m_file->Flush(); }
        bool Close() override { return m_file->Close(); }

    private:
        DatabaseToDevice& m_fs;
        std::unique_ptr<IOutputFile> m_file;
    };
};

struct Figures {
    int64_t peak = 0;
    int64_t kept = 0;
    uint64_t pathBytes = 0;
    bool done = false;
};

Figures MeasureRun(size_t tracks) {
    MemoryFileSystem memory;
    LayOutPlayer(memory, PlayerTree(tracks));
    DatabaseToDevice fs(memory);
    CountingLabel label;
    PlayerProbe probe;
    CSyncJob job(fs);
    job.SetStatusLabel(&label);
    job.CheckLocation(probe);

    int64_t before = g_heapNow.load();
    g_heapPeak = before;
    job.StartSync();
    job.WaitForRun();
    Figures figures;
    figures.peak = g_heapPeak.load() - before;
    figures.kept = g_heapNow.load() - before;
    for (const auto& path : TracksOnDisk(memory, kBenchRoot))
        figures.pathBytes += 2 * path.size();
    figures.done = label.last == kMsgDone && job.m_lstPaths.Count() == tracks &&
                   fs.written == kDbHeaderSize + kDbRecordSize * tracks;
    return figures;
}

}  // namespace

int main() {
    if (SanitizedBuild())
        std::printf(
            "warning: built with sanitizers; the heap figures include none of their "
            "shadow memory but are not the program's\n");
    std::printf(
        "Peak heap of a whole run (StartSync to the worker's end), above the heap before "
        "it; %zu-bit build\n",
        sizeof(void*) * 8);
    std::printf("  %8s %12s %12s %14s %10s %14s %12s\n", "tracks", "peak bytes", "kept after",
                "path bytes", "peak/paths", "peak per track", "x per track");
    double previous = 0;
    bool allMet = true;
    for (size_t tracks : {20000, 200000}) {
        Figures f = MeasureRun(tracks);
        double ratio = static_cast<double>(f.peak) / static_cast<double>(f.pathBytes);
        double perTrack = static_cast<double>(f.peak) / static_cast<double>(tracks);
        allMet = allMet && ratio <= kRatioGoal && f.done;
        std::printf("  %8zu %12" PRId64 " %12" PRId64 " %14" PRIu64 " %10.2f %14.1f", tracks,
                    f.peak, f.kept, f.pathBytes, ratio, perTrack);
        if (previous > 0)
            std::printf(" %12.2f", perTrack / previous);
        else
            std::printf(" %12s", "-");
        std::printf("%s\n", f.done ? "" : "  (run incomplete)");
        previous = perTrack;
    }
    std::printf(
        "  path bytes: every track's player path, 2 bytes a unit; goal peak <= %.0f x "
        "path bytes, growing linearly: %s\n",
        kRatioGoal, allMet ? "met" : "NOT met");
    return 0;
}
