// A file system in front of another that counts every operation and charges it a modelled cost,
// as on a USB flash player whose writes are not cached: each write call, rename and flush goes
// to the device, while listings and existence tests come from the host's cache.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/FileSystem.h"

struct DeviceCosts {
    double writeCallMs = 2.0;
    double bytesPerSecond = 4e6;  // 4 MB/s, decimal megabytes
    double renameMs = 5.0;
    double flushMs = 10.0;
    double createMs = 5.0;
    double replaceMs = 5.0;
    double removeMs = 5.0;
    double closeMs = 0.0;        // the flush before it has already put everything on the medium
    double cachedReadMs = 0.01;  // opening a listing, each listing step, existence and folder tests

    double WriteMs(uint64_t bytes) const { return writeCallMs + BytesMs(bytes); }
    double BytesMs(uint64_t bytes) const {
        return 1000.0 * static_cast<double>(bytes) / bytesPerSecond;
    }
};

struct DeviceCounts {
    uint64_t listings = 0;
    uint64_t listingSteps = 0;  // every Next call, the last one that finds no entry included
    uint64_t isDirectory = 0;
    uint64_t exists = 0;
    uint64_t renames = 0;
    uint64_t creates = 0;
    uint64_t writes = 0;
    uint64_t bytesWritten = 0;
    uint64_t flushes = 0;
    uint64_t closes = 0;
    uint64_t replaces = 0;
    uint64_t removes = 0;
    double modelledMs = 0;

    DeviceCounts operator-(const DeviceCounts& earlier) const;
};

class SlowDevice : public ForwardingFileSystem {
public:
    explicit SlowDevice(IFileSystem& inner, DeviceCosts costs = {})
        : ForwardingFileSystem(inner), m_costs(costs) {}

    const DeviceCosts& Costs() const { return m_costs; }
    const DeviceCounts& Counts() const { return m_counts; }
    void ResetCounts() { m_counts = {}; }

    std::unique_ptr<IFolderListing> ListFolder(const std::u16string& folder) override;
    bool IsDirectory(const std::u16string& path) override;
    bool Exists(const std::u16string& path) override;
    RenameResult Rename(const std::u16string& from, const std::u16string& to) override;
    std::unique_ptr<IOutputFile> CreateOutput(const std::u16string& path) override;
    ReplaceResult Replace(const std::u16string& from, const std::u16string& to) override;
    bool Remove(const std::u16string& path) override;

private:
    friend class ChargedListing;
    friend class ChargedOutput;

    DeviceCosts m_costs;
    DeviceCounts m_counts;
};
