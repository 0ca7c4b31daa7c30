#include "MemoryFileSystem.h"

#include <algorithm>
#include <new>
#include <optional>
#include <stdexcept>

#include "base/FatNames.h"
#include "base/Text.h"

namespace {

std::u16string Folded(std::u16string_view name) {
    std::u16string out(name);
    for (auto& unit : out)
        unit = FoldAscii(unit);
    return out;
}

std::vector<std::u16string> SplitPath(const std::u16string& path) {
    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string::npos)
            end = path.size();
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    if (parts.size() > 1 && parts.back().empty())
        parts.pop_back();  // "E:\" is the drive itself
    return parts;
}

}  // namespace

struct MemoryFileSystem::Node {
    std::u16string name;
    bool isDir = false;
    bool isLink = false;
    bool locked = false;
    bool closed = false;
    Bytes data;
    std::optional<Bytes> durable;  // a written file: its bytes as the last flush left them
    Node* parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;      // listing order
    std::unordered_map<std::u16string, Node*> index;  // folded name -> child

    Node* Child(std::u16string_view childName) const {
        auto it = index.find(Folded(childName));
        return it == index.end() ? nullptr : it->second;
    }
    std::u16string Path() const {
        return parent && parent->parent ? parent->Path() + u"\\" + name : name;
    }
    std::unique_ptr<Node> Detach(Node* child) {
        index.erase(Folded(child->name));
        auto it = std::find_if(children.begin(), children.end(),
                               [&](const auto& c) { return c.get() == child; });
        std::unique_ptr<Node> owned = std::move(*it);
        children.erase(it);
        return owned;
    }
    Node* Attach(std::unique_ptr<Node> child) {
        child->parent = this;
        Node* raw = child.get();
        index[Folded(raw->name)] = raw;
        children.push_back(std::move(child));
        return raw;
    }
};

namespace {

class MemoryListing : public IFolderListing {
public:
    MemoryListing(MemoryFileSystem& fs, std::u16string folder, std::vector<FolderEntry> entries)
        : m_fs(fs), m_folder(std::move(folder)), m_entries(std::move(entries)) {}
    ListStep Next(FolderEntry& entry) override {
        if (m_next >= m_entries.size())
            return ListStep::End;
        if (m_fs.Fails(FsOp::ListNext, m_folder))
            return ListStep::Failed;
        entry = m_entries[m_next++];
        return ListStep::Entry;
    }

private:
    MemoryFileSystem& m_fs;
    std::u16string m_folder;
    std::vector<FolderEntry> m_entries;  // taken when the listing opens
    size_t m_next = 0;
};

class MemoryOutput : public IOutputFile {
public:
    MemoryOutput(MemoryFileSystem& fs, MemoryFileSystem::Node* node, std::u16string path)
        : m_fs(fs), m_node(node), m_path(std::move(path)) {}
    size_t Write(const uint8_t* data, size_t size) override {
        if (!m_node || m_fs.Fails(FsOp::Write, m_path))
            return 0;
        size_t room = m_fs.capacity > m_fs.UsedBytes() ? m_fs.capacity - m_fs.UsedBytes() : 0;
        size_t taken = std::min({size, m_fs.maxWriteChunk, room});
        if (taken == 0 && size > 0)
            return m_fs.Refuse<size_t>(112, 0);  // ERROR_DISK_FULL
        m_node->data.insert(m_node->data.end(), data, data + taken);
        return taken;
    }
    bool Flush() override {
        bool ok = m_node && !m_fs.Fails(FsOp::Flush, m_path);
        if (ok)
            m_node->durable = m_node->data;
        return ok;
    }
    bool Close() override {
        bool ok = m_node && !m_fs.Fails(FsOp::Close, m_path);
        m_node = nullptr;
        return ok;
    }

private:
    MemoryFileSystem& m_fs;
    MemoryFileSystem::Node* m_node;
    std::u16string m_path;
};

}  // namespace

const char* FsOpName(FsOp op) {
    static const char* const names[] = {
        "List",        "ListNext",    "IsDirectory", "Exists",   "Rename",     "Create",
        "Write",       "Flush",       "Close",       "Replace",  "Remove",     "Lock",
        "Sync",        "Open",        "Read",        "Prepare",  "RenameSync", "SetSize",
        "RenameEnter", "FlushFolder", "MakeFolder",  "FreeSpace"};
    return names[static_cast<int>(op)];
}

MemoryFileSystem::MemoryFileSystem() : m_top(std::make_unique<Node>()) {
    m_top->isDir = true;
}
MemoryFileSystem::~MemoryFileSystem() = default;

bool MemoryFileSystem::Fails(FsOp op, const std::u16string& path) {
    ++operations;
    if (!failWhen || !failWhen(op, path))
        return false;
    m_lastError = failError;
    return true;
}

size_t MemoryFileSystem::UsedBytes() const {
    size_t used = 0;
    std::function<void(const Node&)> add = [&](const Node& node) {
        used += node.data.size();
        for (const auto& child : node.children)
            add(*child);
    };
    if (capacity != SIZE_MAX)
        add(*m_top);
    return used;
}

MemoryFileSystem::Node* MemoryFileSystem::Find(const std::u16string& path) const {
    if (path.empty() || path.size() >= kMaxPath)
        return nullptr;
    Node* node = m_top.get();
    for (const auto& part : SplitPath(path)) {
        if (part.empty() || !node->isDir || node->isLink)
            return nullptr;
        node = node->Child(part);
        if (!node)
            return nullptr;
    }
    return node;
}

MemoryFileSystem::Node* MemoryFileSystem::FindParent(const std::u16string& path,
                                                     std::u16string* name) const {
    size_t cut = path.rfind(u'\\');
    if (cut == std::u16string::npos || cut + 1 >= path.size())
        return nullptr;
    *name = path.substr(cut + 1);
    Node* parent = Find(path.substr(0, cut));
    return parent && parent->isDir && !parent->isLink ? parent : nullptr;
}

MemoryFileSystem::Node* MemoryFileSystem::Make(const std::u16string& path, bool isDir,
                                               bool isLink) {
    Node* node = m_top.get();
    auto parts = SplitPath(path);
    for (size_t i = 0; i < parts.size(); ++i) {
        bool last = i + 1 == parts.size();
        Node* child = node->Child(parts[i]);
        if (!child) {
            auto fresh = std::make_unique<Node>();
            fresh->name = parts[i];
            fresh->isDir = !last || isDir;
            fresh->isLink = last && isLink;
            child = node->Attach(std::move(fresh));
        } else if (last || !child->isDir) {
            throw std::logic_error("MemoryFileSystem: entry exists already");
        }
        node = child;
    }
    return node;
}

void MemoryFileSystem::AddFolder(const std::u16string& path) {
    Make(path, true, false);
}
void MemoryFileSystem::AddLink(const std::u16string& path) {
    Make(path, true, true);
}
void MemoryFileSystem::AddFile(const std::u16string& path, Bytes data) {
    Make(path, false, false)->data = std::move(data);
}
void MemoryFileSystem::AddSecondName(const std::u16string& path, const std::u16string& second) {
    Node* first = Find(path);
    Node* other = Make(second, false, false);
    other->data = first->data;
    m_sameChain[first] = other;
    m_sameChain[other] = first;
    m_secondNames.insert(other);
}

// The chain is freed: the other name is left naming clusters that hold nothing of its file.
void MemoryFileSystem::FreeChainOf(const Node* node) {
    auto shared = m_sameChain.find(node);
    if (shared == m_sameChain.end())
        return;
    Node* other = shared->second;
    other->data.clear();
    other->durable.reset();
    m_sameChain.erase(other);
    m_sameChain.erase(shared);
    m_secondNames.erase(node);
    m_secondNames.erase(other);
}

void MemoryFileSystem::SetLocked(const std::u16string& path, bool locked) {
    if (Node* node = Find(path))
        node->locked = locked;
}

void MemoryFileSystem::SetClosed(const std::u16string& folder) {
    if (Node* node = Find(folder))
        node->closed = true;
}

bool MemoryFileSystem::HasFile(const std::u16string& path) const {
    Node* node = Find(path);
    return node && !node->isDir;
}
bool MemoryFileSystem::HasFolder(const std::u16string& path) const {
    Node* node = Find(path);
    return node && node->isDir;
}
Bytes MemoryFileSystem::Read(const std::u16string& path) const {
    Node* node = Find(path);
    return node && !node->isDir ? node->data : Bytes{};
}
Bytes MemoryFileSystem::ReadDurable(const std::u16string& path) const {
    Node* node = Find(path);
    return node && !node->isDir ? node->durable.value_or(node->data) : Bytes{};
}
std::vector<std::u16string> MemoryFileSystem::Names(const std::u16string& folder) const {
    std::vector<std::u16string> names;
    if (Node* node = Find(folder))
        for (const auto& child : node->children)
            names.push_back(child->name);
    return names;
}

std::map<std::u16string, std::unique_ptr<Bytes>> MemoryFileSystem::Snapshot() const {
    std::map<std::u16string, std::unique_ptr<Bytes>> all;
    std::function<void(const Node&)> add = [&](const Node& node) {
        for (const auto& child : node.children) {
            all[child->Path()] = child->isDir ? nullptr : std::make_unique<Bytes>(child->data);
            add(*child);
        }
    };
    add(*m_top);
    return all;
}

std::unique_ptr<IFolderListing> MemoryFileSystem::ListFolder(const std::u16string& folder) {
    if (Fails(FsOp::List, folder))
        return std::make_unique<FailedListing>();
    Node* node = folder.size() + 2 < kMaxPath ? Find(folder) : nullptr;
    if (!node || !node->isDir || node->isLink || node->closed)
        return nullptr;
    std::vector<FolderEntry> entries;
    if (node->parent != m_top.get()) {  // a drive's top folder has no "." and ".."
        entries.push_back({u".", true, false});
        entries.push_back({u"..", true, false});
    }
    for (const auto& child : node->children)
        entries.push_back({child->name, child->isDir, child->isLink});
    return std::make_unique<MemoryListing>(*this, folder, std::move(entries));
}

bool MemoryFileSystem::IsDirectory(const std::u16string& path) {
    if (Fails(FsOp::IsDirectory, path))
        return false;
    Node* node = Find(path);
    return node && node->isDir;
}

bool MemoryFileSystem::Exists(const std::u16string& path) {
    if (Fails(FsOp::Exists, path))
        return false;
    return Find(path) != nullptr;
}

RenameResult MemoryFileSystem::Rename(const std::u16string& from, const std::u16string& to) {
    if (Fails(FsOp::Rename, from))
        return RenameResult::Refused;
    std::u16string fromName, toName;
    Node* fromParent = FindParent(from, &fromName);
    Node* toParent = FindParent(to, &toName);
    Node* node = fromParent ? fromParent->Child(fromName) : nullptr;
    if (!node || !toParent || to.size() >= kMaxPath)
        return Refuse(3, RenameResult::Refused);  // ERROR_PATH_NOT_FOUND
    if (node->locked)
        return Refuse(32, RenameResult::Refused);  // ERROR_SHARING_VIOLATION
    if (toParent->Child(toName))
        return Refuse(183, RenameResult::Refused);  // ERROR_ALREADY_EXISTS
    if (renameRemovesFirst && FatEntriesFor(node->name).most != FatEntriesFor(toName).most) {
        // The old entries go first; until the new ones are written the item has no name.
        std::u16string drive = from.substr(0, 2);
        m_nameless.emplace_back(drive, fromParent->Detach(node));
        if (Fails(FsOp::RenameEnter, to))
            return RenameResult::Refused;
        auto owned = std::move(m_nameless.back().second);
        m_nameless.pop_back();
        owned->name = toName;
        toParent->Attach(std::move(owned));
    } else if (fromParent == toParent) {
        // Keep the entry's place in the listing, as a rename in place on the medium does.
        fromParent->index.erase(Folded(node->name));
        node->name = toName;
        fromParent->index[Folded(toName)] = node;
    } else {
        auto owned = fromParent->Detach(node);
        owned->name = toName;
        toParent->Attach(std::move(owned));
    }
    return Fails(FsOp::RenameSync, to) ? RenameResult::RenamedNotDurable : RenameResult::Renamed;
}

bool MemoryFileSystem::CreateFolder(const std::u16string& path) {
    if (Fails(FsOp::MakeFolder, path))
        return false;
    std::u16string name;
    Node* parent = FindParent(path, &name);
    if (!parent || path.size() >= kMaxPath)
        return Refuse(3, false);  // ERROR_PATH_NOT_FOUND
    if (parent->Child(name))
        return Refuse(183, false);  // ERROR_ALREADY_EXISTS
    Make(path, true, false);
    return true;
}

bool MemoryFileSystem::FreeSpace(const std::u16string& path, uint64_t& bytes) {
    if (Fails(FsOp::FreeSpace, path) || capacity == SIZE_MAX)
        return false;
    bytes = capacity > UsedBytes() ? capacity - UsedBytes() : 0;
    return true;
}

bool MemoryFileSystem::PrepareNames(const std::u16string& folder,
                                    const std::vector<std::u16string>& names) {
    if (Fails(FsOp::Prepare, folder))
        return false;
    prepared.emplace_back(folder, names);
    return true;
}

std::unique_ptr<IOutputFile> MemoryFileSystem::CreateOutput(const std::u16string& path) {
    if (Fails(FsOp::Create, path))
        return nullptr;
    std::u16string name;
    Node* parent = FindParent(path, &name);
    if (!parent || path.size() >= kMaxPath)
        return nullptr;
    Node* node = parent->Child(name);
    if (node && (node->isDir || node->locked))
        return nullptr;
    if (!node)
        node = Make(path, false, false);
    FreeChainOf(node);
    node->data.clear();
    node->durable = Bytes();
    return std::make_unique<MemoryOutput>(*this, node, path);
}

namespace {

class MemoryInput : public IInputFile {
public:
    MemoryInput(MemoryFileSystem& fs, Bytes data, std::u16string path)
        : m_fs(fs), m_data(std::move(data)), m_path(std::move(path)) {}
    long long Read(uint8_t* data, size_t size) override {
        if (m_next == m_data.size())
            return 0;
        if (m_fs.Fails(FsOp::Read, m_path))
            return -1;
        size_t taken = std::min({size, m_fs.maxWriteChunk, m_data.size() - m_next});
        std::copy_n(m_data.data() + m_next, taken, data);
        m_next += taken;
        return static_cast<long long>(taken);
    }
    uint64_t Size() const override { return m_data.size(); }
    bool Seek(uint64_t offset) override {
        m_next = static_cast<size_t>(std::min<uint64_t>(offset, m_data.size()));
        return true;
    }

private:
    MemoryFileSystem& m_fs;
    Bytes m_data;  // as it was when opened
    std::u16string m_path;
    size_t m_next = 0;
};

}  // namespace

std::unique_ptr<IInputFile> MemoryFileSystem::OpenInput(const std::u16string& path) {
    if (Fails(FsOp::Open, path))
        return nullptr;
    Node* node = Find(path);
    if (!node)
        return Refuse<std::unique_ptr<IInputFile>>(2, nullptr);  // ERROR_FILE_NOT_FOUND
    if (node->isDir || node->locked)
        return Refuse<std::unique_ptr<IInputFile>>(5, nullptr);  // ERROR_ACCESS_DENIED
    return std::make_unique<MemoryInput>(*this, node->data, path);
}

ReplaceResult MemoryFileSystem::Replace(const std::u16string& from, const std::u16string& to) {
    std::u16string fromName, toName;
    Node* fromParent = FindParent(from, &fromName);
    Node* toParent = FindParent(to, &toName);
    Node* node = fromParent ? fromParent->Child(fromName) : nullptr;
    Node* target = toParent ? toParent->Child(toName) : nullptr;
    if (Fails(FsOp::Replace, from)) {
        // The failure came after the target was removed, as it does on Windows' FAT.
        if (replaceRemovesTargetFirst && node && !node->isDir && target && !target->isDir &&
            !target->locked) {
            FreeChainOf(target);
            toParent->Detach(target);
            return ReplaceResult::TargetRemoved;
        }
        return ReplaceResult::Failed;
    }
    if (!node || node->isDir || node->locked || !toParent)
        return Refuse(5, ReplaceResult::Failed);
    if (target) {
        if (target->isDir || target->locked)
            return Refuse(5, ReplaceResult::Failed);
        FreeChainOf(target);
        toParent->Detach(target);
    }
    auto owned = fromParent->Detach(node);
    owned->name = toName;
    toParent->Attach(std::move(owned));
    // A real replace allocates nothing once the file has moved: running out of memory at this
    // point stands for the sync failing.
    bool durable = false;
    try {
        durable = !Fails(FsOp::Sync, to);
    } catch (const std::bad_alloc&) {
    }
    return durable ? ReplaceResult::Replaced : ReplaceResult::ReplacedNotDurable;
}

bool MemoryFileSystem::Remove(const std::u16string& path) {
    if (Fails(FsOp::Remove, path))
        return false;
    std::u16string name;
    Node* parent = FindParent(path, &name);
    Node* node = parent ? parent->Child(name) : nullptr;
    if (!node || node->isDir || node->locked)
        return false;
    FreeChainOf(node);
    parent->Detach(node);
    return true;
}

bool MemoryFileSystem::SyncFolderOf(const std::u16string& path) {
    return !Fails(FsOp::FlushFolder, path.substr(0, path.rfind(u'\\')));
}

bool MemoryFileSystem::SetSize(const std::u16string& path, uint64_t size) {
    if (Fails(FsOp::SetSize, path))
        return false;
    Node* node = Find(path);
    if (!node || node->isDir || node->locked)
        return Refuse(5, false);
    node->data.resize(static_cast<size_t>(size));
    return true;
}

// Distinct paths here are distinct items: only a folder under two names would be one.
bool MemoryFileSystem::SameFolder(const std::u16string& a, const std::u16string& b) {
    Node* first = Find(a);
    return first && first->isDir && first == Find(b);
}

DataPlace MemoryFileSystem::SameData(const std::u16string& a, const std::u16string& b) {
    Node* first = Find(a);
    Node* second = Find(b);
    if (!first || !second || first->isDir || second->isDir || !tellsWhereDataLies)
        return DataPlace::Unknown;
    auto shared = m_sameChain.find(first);
    if (first == second || (shared != m_sameChain.end() && shared->second == second))
        return DataPlace::Shared;
    return DataPlace::Apart;
}

void MemoryFileSystem::CheckDrive(bool dosfstools) {
    // A chain named twice stays the first name's.
    while (!m_secondNames.empty())
        FreeChainOf(m_sameChain.at(*m_secondNames.begin()));
    auto numbered = [](const char16_t* head, size_t number, size_t width, const char16_t* tail) {
        std::u16string digits = FormatNumber(u"%d", static_cast<int>(number));
        return head + std::u16string(width > digits.size() ? width - digits.size() : 0, u'0') +
               digits + tail;
    };
    auto padded = [](std::unique_ptr<Node> file) {
        size_t clusters = (file->data.size() + kClusterBytes - 1) / kClusterBytes;
        file->data.resize(clusters * kClusterBytes, 0xF6);
        return file;
    };
    std::map<std::u16string, std::pair<Node*, size_t>> saved;  // drive -> where, how many
    for (auto& [drive, item] : m_nameless) {
        Node* top = Find(drive);
        if (!top)
            continue;
        auto& [folder, count] = saved[drive];
        if (!folder && dosfstools) {
            folder = top;
        } else if (!folder) {
            size_t n = 0;
            while (top->Child(numbered(u"FOUND.", n, 3, u"")))
                ++n;
            folder = Make(drive + u"\\" + numbered(u"FOUND.", n, 3, u""), true, false);
        }
        if (!dosfstools) {
            item->name = numbered(item->isDir ? u"DIR" : u"FILE", count++, 4, u".CHK");
            folder->Attach(item->isDir ? std::move(item) : padded(std::move(item)));
            continue;
        }
        // Every chain apart, a folder's as a file of its raw entries ("." first, a folder's).
        std::vector<std::unique_ptr<Node>> chains;
        chains.push_back(std::move(item));
        while (!chains.empty()) {
            auto chain = std::move(chains.back());
            chains.pop_back();
            if (chain->isDir) {
                for (auto& child : chain->children)
                    chains.push_back(std::move(child));
                chain = std::make_unique<Node>();
                chain->data.assign(32, 0);
                std::fill_n(chain->data.begin() + 1, 10, ' ');
                chain->data[0] = '.';
                chain->data[11] = 0x10;
            }
            chain->name = numbered(u"FSCK", count++, 4, u".REC");
            folder->Attach(padded(std::move(chain)));
        }
    }
    m_nameless.clear();
}

namespace {

void Gather(const MemoryFileSystem::Node& node, std::vector<Bytes>* files, size_t* folders);

}  // namespace

std::vector<Bytes> MemoryFileSystem::NamelessFiles() const {
    std::vector<Bytes> files;
    for (const auto& nameless : m_nameless)
        Gather(*nameless.second, &files, nullptr);
    return files;
}

size_t MemoryFileSystem::NamelessFolders() const {
    size_t folders = 0;
    for (const auto& nameless : m_nameless)
        Gather(*nameless.second, nullptr, &folders);
    return folders;
}

namespace {

void Gather(const MemoryFileSystem::Node& node, std::vector<Bytes>* files, size_t* folders) {
    if (!node.isDir && files)
        files->push_back(node.data);
    if (node.isDir && folders)
        ++*folders;
    for (const auto& child : node.children)
        Gather(*child, files, folders);
}

}  // namespace

namespace {

class DriveLock : public IPlayerLock {
public:
    DriveLock(std::set<std::u16string>& held, std::u16string drive)
        : m_held(held), m_drive(std::move(drive)) {}
    ~DriveLock() override { m_held.erase(m_drive); }

private:
    std::set<std::u16string>& m_held;
    std::u16string m_drive;
};

}  // namespace

PlayerLock MemoryFileSystem::LockPlayer(const std::u16string& dbPath) {
    PlayerLock result;
    if (Fails(FsOp::Lock, dbPath)) {
        result.systemError = lockError;
        return result;
    }
    std::u16string drive = Folded(dbPath.substr(0, 2));
    if (m_lockedDrives.insert(drive).second)
        result.held = std::make_unique<DriveLock>(m_lockedDrives, drive);
    return result;
}
