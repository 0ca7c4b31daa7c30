#include "SlowDevice.h"

DeviceCounts DeviceCounts::operator-(const DeviceCounts& earlier) const {
    DeviceCounts d;
    d.listings = listings - earlier.listings;
    d.listingSteps = listingSteps - earlier.listingSteps;
    d.isDirectory = isDirectory - earlier.isDirectory;
    d.exists = exists - earlier.exists;
    d.renames = renames - earlier.renames;
    d.creates = creates - earlier.creates;
    d.writes = writes - earlier.writes;
    d.bytesWritten = bytesWritten - earlier.bytesWritten;
    d.flushes = flushes - earlier.flushes;
    d.closes = closes - earlier.closes;
    d.replaces = replaces - earlier.replaces;
    d.removes = removes - earlier.removes;
    d.modelledMs = modelledMs - earlier.modelledMs;
    return d;
}

class ChargedListing : public IFolderListing {
public:
    ChargedListing(SlowDevice& device, std::unique_ptr<IFolderListing> inner)
        : m_device(device), m_inner(std::move(inner)) {}

    ListStep Next(FolderEntry& entry) override {
        ++m_device.m_counts.listingSteps;
        m_device.m_counts.modelledMs += m_device.m_costs.cachedReadMs;
        return m_inner->Next(entry);
    }

private:
    SlowDevice& m_device;
    std::unique_ptr<IFolderListing> m_inner;
};

class ChargedOutput : public IOutputFile {
public:
    ChargedOutput(SlowDevice& device, std::unique_ptr<IOutputFile> inner)
        : m_device(device), m_inner(std::move(inner)) {}

    size_t Write(const uint8_t* data, size_t size) override {
        size_t wrote = m_inner->Write(data, size);
        DeviceCounts& counts = m_device.m_counts;
        ++counts.writes;
        counts.bytesWritten += wrote;
        counts.modelledMs += m_device.m_costs.WriteMs(wrote);
        return wrote;
    }
    bool Flush() override {
        ++m_device.m_counts.flushes;
        m_device.m_counts.modelledMs += m_device.m_costs.flushMs;
        return m_inner->Flush();
    }
    bool Close() override {
        ++m_device.m_counts.closes;
        m_device.m_counts.modelledMs += m_device.m_costs.closeMs;
        return m_inner->Close();
    }

private:
    SlowDevice& m_device;
    std::unique_ptr<IOutputFile> m_inner;
};

std::unique_ptr<IFolderListing> SlowDevice::ListFolder(const std::u16string& folder) {
    ++m_counts.listings;
    m_counts.modelledMs += m_costs.cachedReadMs;
    auto listing = m_inner.ListFolder(folder);
    if (!listing)
        return nullptr;
    return std::make_unique<ChargedListing>(*this, std::move(listing));
}

bool SlowDevice::IsDirectory(const std::u16string& path) {
    ++m_counts.isDirectory;
    m_counts.modelledMs += m_costs.cachedReadMs;
    return m_inner.IsDirectory(path);
}

bool SlowDevice::Exists(const std::u16string& path) {
    ++m_counts.exists;
    m_counts.modelledMs += m_costs.cachedReadMs;
    return m_inner.Exists(path);
}

RenameResult SlowDevice::Rename(const std::u16string& from, const std::u16string& to) {
    ++m_counts.renames;
    m_counts.modelledMs += m_costs.renameMs;
    return m_inner.Rename(from, to);
}

std::unique_ptr<IOutputFile> SlowDevice::CreateOutput(const std::u16string& path) {
    ++m_counts.creates;
    m_counts.modelledMs += m_costs.createMs;
    auto file = m_inner.CreateOutput(path);
    if (!file)
        return nullptr;
    return std::make_unique<ChargedOutput>(*this, std::move(file));
}

ReplaceResult SlowDevice::Replace(const std::u16string& from, const std::u16string& to) {
    ++m_counts.replaces;
    m_counts.modelledMs += m_costs.replaceMs;
    return m_inner.Replace(from, to);
}

bool SlowDevice::Remove(const std::u16string& path) {
    ++m_counts.removes;
    m_counts.modelledMs += m_costs.removeMs;
    return m_inner.Remove(path);
}
