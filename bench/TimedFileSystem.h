// A file system in front of another that measures the real time spent inside it, by kind of
// operation, so a run's time splits into the platform's share and the engine's own.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "base/FileSystem.h"

class TimedFileSystem : public ForwardingFileSystem {
public:
    enum Kind { kListing, kIsDirectory, kExists, kRename, kDatabaseFile, kKinds };

    explicit TimedFileSystem(IFileSystem& inner) : ForwardingFileSystem(inner) {}

    double Ms(Kind kind) const { return m_ms[kind]; }
    void Reset() {
        for (double& ms : m_ms)
            ms = 0;
    }
    double TotalMs() const {
        double sum = 0;
        for (double ms : m_ms)
            sum += ms;
        return sum;
    }

    std::unique_ptr<IFolderListing> ListFolder(const std::u16string& folder) override {
        Clock clock(*this, kListing);
        auto listing = m_inner.ListFolder(folder);
        if (!listing)
            return nullptr;
        return std::make_unique<Listing>(*this, std::move(listing));
    }
    bool IsDirectory(const std::u16string& path) override {
        Clock clock(*this, kIsDirectory);
        return m_inner.IsDirectory(path);
    }
    bool Exists(const std::u16string& path) override {
        Clock clock(*this, kExists);
        return m_inner.Exists(path);
    }
    RenameResult Rename(const std::u16string& from, const std::u16string& to) override {
        Clock clock(*this, kRename);
        return m_inner.Rename(from, to);
    }
    std::unique_ptr<IOutputFile> CreateOutput(const std::u16string& path) override {
        Clock clock(*this, kDatabaseFile);
        auto file = m_inner.CreateOutput(path);
        if (!file)
            return nullptr;
        return std::make_unique<Output>(*this, std::move(file));
    }
    ReplaceResult Replace(const std::u16string& from, const std::u16string& to) override {
        Clock clock(*this, kDatabaseFile);
        return m_inner.Replace(from, to);
    }
    bool Remove(const std::u16string& path) override {
        Clock clock(*this, kDatabaseFile);
        return m_inner.Remove(path);
    }

private:
    // Adds the time from its making to its end to one kind.
    class Clock {
    public:
        Clock(TimedFileSystem& fs, Kind kind)
            : m_fs(fs), m_kind(kind), m_start(std::chrono::steady_clock::now()) {}
        ~Clock() {
            m_fs.m_ms[m_kind] += std::chrono::duration<double, std::milli>(
                                     std::chrono::steady_clock::now() - m_start)
                                     .count();
        }
        Clock(const Clock&) = delete;
        Clock& operator=(const Clock&) = delete;

    private:
        TimedFileSystem& m_fs;
        Kind m_kind;
        std::chrono::steady_clock::time_point m_start;
    };

    class Listing : public IFolderListing {
    public:
        Listing(TimedFileSystem& fs, std::unique_ptr<IFolderListing> inner)
            : m_fs(fs), m_inner(std::move(inner)) {}
        ~Listing() override {
            Clock clock(m_fs, kListing);
            m_inner.reset();  // closing the listing is part of listing
        }
        ListStep Next(FolderEntry& entry) override {
            Clock clock(m_fs, kListing);
            return m_inner->Next(entry);
        }

    private:
        TimedFileSystem& m_fs;
        std::unique_ptr<IFolderListing> m_inner;
    };

    class Output : public IOutputFile {
    public:
        Output(TimedFileSystem& fs, std::unique_ptr<IOutputFile> inner)
            : m_fs(fs), m_inner(std::move(inner)) {}
        size_t Write(const uint8_t* data, size_t size) override {
            Clock clock(m_fs, kDatabaseFile);
            return m_inner->Write(data, size);
        }
        bool Flush() override {
            Clock clock(m_fs, kDatabaseFile);
            return m_inner->Flush();
        }
        bool Close() override {
            Clock clock(m_fs, kDatabaseFile);
            return m_inner->Close();
        }

    private:
        TimedFileSystem& m_fs;
        std::unique_ptr<IOutputFile> m_inner;
    };

    double m_ms[kKinds] = {};
};
