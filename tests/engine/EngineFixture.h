// What most engine tests share: an in-memory player, a recording status label and a job that
// reports to it, plus small helpers to read the results back.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/Location.h"
#include "MemoryFileSystem.h"
#include "RecordingStatusLabel.h"
#include "run/SyncJob.h"

inline const std::u16string kDb = u"E:\\iPod_Control\\iTunes\\iTunesSD";

// Bytes that tell each test file apart: its original path, low byte first.
inline Bytes ContentOf(const std::u16string& path) {
    Bytes bytes;
    for (char16_t unit : path) {
        bytes.push_back(static_cast<uint8_t>(unit));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

// Where the program is, as the location check is told it.
class FakeProbe : public ILocationProbe {
public:
    FakeProbe(std::u16string path, bool removable)
        : m_path(std::move(path)), m_removable(removable) {}
    std::u16string ProgramPath() override { return m_path; }
    bool IsRemovableDrive(const std::u16string& driveRoot) override {
        asked.push_back(driveRoot);
        return m_removable;
    }
    std::vector<std::u16string> asked;

private:
    std::u16string m_path;
    bool m_removable;
};

struct EngineFixture : ::testing::Test {
    EngineFixture() { job.SetStatusLabel(&label); }

    std::vector<std::u16string> Paths() const {
        return {job.m_lstPaths.begin(), job.m_lstPaths.end()};
    }
    // Only the texts that start with `prefix`, in order.
    std::vector<std::u16string> TextsStarting(std::u16string_view prefix) const {
        std::vector<std::u16string> texts;
        for (const auto& text : label.Texts())
            if (text.compare(0, prefix.size(), prefix) == 0)
                texts.push_back(text);
        return texts;
    }

    MemoryFileSystem fs;
    RecordingStatusLabel label;
    CSyncJob job{fs};
};
