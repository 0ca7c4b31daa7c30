// Whether the program was started from the player: the pure decision, from the program's path
// and two questions about the drive that holds it. The Win32 side only supplies the answers.
#pragma once

#include <functional>
#include <string>
#include <string_view>

// PathTooLong: the program's path does not fit the platform's limit (nothing else was asked).
enum class LocationOutcome { NotOnPlayer, PathTooLong, FolderNotSupported, Ready };

struct LocationDecision {
    LocationOutcome outcome = LocationOutcome::NotOnPlayer;
    std::u16string rootDir;  // the program's folder, no trailing backslash; kept in every outcome
    std::u16string dbPath;   // the database path when ready, else empty
};

// What the platform tells the check about where the program is.
class ILocationProbe {
public:
    // The program file's full path, or empty when it does not fit the platform's path limit.
    virtual std::u16string ProgramPath() = 0;
    // Whether the drive with this root ("E:\") is a removable drive.
    virtual bool IsRemovableDrive(const std::u16string& driveRoot) = 0;

protected:
    ~ILocationProbe() = default;
};

// `exists` is asked about the database path; when there is none, `isFile` about its ".new" beside
// it; `isRemovableDrive` only when either is there.
LocationDecision DecideLocation(std::u16string_view programPath,
                                const std::function<bool(const std::u16string&)>& exists,
                                const std::function<bool(const std::u16string&)>& isFile,
                                const std::function<bool(const std::u16string&)>& isRemovableDrive);
