#include "base/NewName.h"

#include <climits>

#include "base/Text.h"

std::u16string NewName(IFileSystem& fs, const std::u16string& path, int& counter,
                       std::u16string_view format,
                       const std::unordered_set<std::u16string>& planned) {
    // A path the platform cannot rename keeps its name, like any refused rename.
    if (path.size() >= kMaxPath)
        return {};
    std::u16string folderPart = path.substr(0, FileNameOffset(path));
    auto taken = [&](const std::u16string& candidate) {
        return planned.count(FoldedName(candidate)) || fs.Exists(candidate);
    };
    std::u16string candidate = folderPart + FormatNumber(format, counter);
    // The counter moves only past taken names; it keeps the number just given.
    while (candidate.size() < kMaxPath && taken(candidate)) {
        if (counter == INT_MAX)
            return {};
        candidate = folderPart + FormatNumber(format, ++counter);
    }
    return candidate.size() < kMaxPath ? candidate : std::u16string();
}
