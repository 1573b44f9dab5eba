// The in-memory directory tree: folders, files with contents, listings.
#include "platform/headless/headless_files.h"

#include <algorithm>
#include <cassert>

namespace duskpane {

namespace {

// A listing over the entries found when it was started.
class HeadlessListing : public FolderListing {
public:
    explicit HeadlessListing(std::vector<FolderEntry> entries) : entries_(std::move(entries)) {}

    bool Next(FolderEntry& entry) override {
        if (next_ >= entries_.size()) {
            return false;
        }
        entry = entries_[next_];
        ++next_;
        return true;
    }

private:
    std::vector<FolderEntry> entries_;
    size_t next_ = 0;
};

}  // namespace

struct HeadlessFileSystem::Node {
    std::string name;
    bool folder = true;
    bool unreadable = false;
    uint32_t attributes = kFaFolder;
    std::vector<uint8_t> contents;
    std::vector<std::unique_ptr<Node>> children;  // in the order they were added

    Node* Child(const std::string& childName) const {
        for (const auto& child : children) {
            if (child->name == childName) {
                return child.get();
            }
        }
        return nullptr;
    }
};

HeadlessFileSystem::HeadlessFileSystem(char separator)
    : separator_('\\'), root_(std::make_unique<Node>()) {
    SetPathSeparator(separator);
}

HeadlessFileSystem::~HeadlessFileSystem() = default;

void HeadlessFileSystem::SetPathSeparator(char separator) {
    assert((separator == '\\' || separator == '/') &&
           "HeadlessFileSystem: the separator is '\\' or '/'");
    separator_ = separator;
}

// The names along a path; a path that starts with a separator gets the
// separator itself as its first name (the top of the tree it lives in).
// Empty names and "." are dropped and ".." takes the previous name away.
std::vector<std::string> HeadlessFileSystem::SplitPath(const std::string& path) const {
    auto isSeparator = [this](char c) {
        return c == separator_ || (separator_ == '\\' && c == '/');
    };
    std::vector<std::string> parts;
    if (!path.empty() && isSeparator(path.front())) {
        parts.emplace_back(1, separator_);
    }
    const size_t top = parts.size();
    // "." and ".." are resolved by name, as the system does with a full path.
    auto addPart = [&](std::string part) {
        if (part.empty() || part == ".") {
            return;
        }
        if (part == "..") {
            if (parts.size() > top) {
                parts.pop_back();
            }
            return;
        }
        parts.push_back(std::move(part));
    };
    std::string current;
    for (char c : path) {
        if (isSeparator(c)) {
            addPart(std::move(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    addPart(std::move(current));
    return parts;
}

HeadlessFileSystem::Node* HeadlessFileSystem::Find(const std::string& path) const {
    const std::vector<std::string> parts = SplitPath(path);
    if (parts.empty()) {
        return nullptr;
    }
    Node* node = root_.get();
    for (const std::string& part : parts) {
        if (!node->folder) {
            return nullptr;
        }
        node = node->Child(part);
        if (node == nullptr) {
            return nullptr;
        }
    }
    return node;
}

HeadlessFileSystem::Node* HeadlessFileSystem::MakeFolders(const std::vector<std::string>& parts,
                                                          size_t count) {
    Node* node = root_.get();
    for (size_t i = 0; i < count; ++i) {
        Node* child = node->Child(parts[i]);
        if (child == nullptr) {
            auto folder = std::make_unique<Node>();
            folder->name = parts[i];
            child = folder.get();
            node->children.push_back(std::move(folder));
        }
        if (!child->folder) {
            return nullptr;
        }
        node = child;
    }
    return node;
}

bool HeadlessFileSystem::AddFolder(const std::string& path, uint32_t attributes) {
    const std::vector<std::string> parts = SplitPath(path);
    if (parts.empty()) {
        return false;
    }
    Node* folder = MakeFolders(parts, parts.size());
    if (folder == nullptr) {
        return false;
    }
    folder->attributes = attributes | kFaFolder;
    return true;
}

bool HeadlessFileSystem::AddFile(const std::string& path, std::vector<uint8_t> contents,
                                 uint32_t attributes) {
    const std::vector<std::string> parts = SplitPath(path);
    if (parts.empty()) {
        return false;
    }
    Node* parent = MakeFolders(parts, parts.size() - 1);
    if (parent == nullptr) {
        return false;
    }
    Node* file = parent->Child(parts.back());
    if (file == nullptr) {
        auto node = std::make_unique<Node>();
        node->name = parts.back();
        node->folder = false;
        file = node.get();
        parent->children.push_back(std::move(node));
    } else if (file->folder) {
        return false;
    }
    file->attributes = attributes & ~kFaFolder;
    file->contents = std::move(contents);
    return true;
}

bool HeadlessFileSystem::SetUnreadable(const std::string& folderPath, bool unreadable) {
    Node* folder = Find(folderPath);
    if (folder == nullptr || !folder->folder) {
        return false;
    }
    folder->unreadable = unreadable;
    return true;
}

bool HeadlessFileSystem::Remove(const std::string& path) {
    const std::vector<std::string> parts = SplitPath(path);
    if (parts.empty()) {
        return false;
    }
    Node* parent = root_.get();
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        parent = parent->Child(parts[i]);
        if (parent == nullptr || !parent->folder) {
            return false;
        }
    }
    auto& children = parent->children;
    auto it = std::find_if(children.begin(), children.end(),
                           [&](const auto& child) { return child->name == parts.back(); });
    if (it == children.end()) {
        return false;
    }
    children.erase(it);
    return true;
}

std::optional<std::vector<uint8_t>> HeadlessFileSystem::ReadFile(const std::string& path) const {
    const Node* node = Find(path);
    if (node == nullptr || node->folder) {
        return std::nullopt;
    }
    return node->contents;
}

bool HeadlessFileSystem::FolderExists(const std::string& path) const {
    const Node* node = Find(path);
    return node != nullptr && node->folder;
}

bool HeadlessFileSystem::FileExists(const std::string& path) {
    const Node* node = Find(path);
    return node != nullptr && !node->folder;
}

std::unique_ptr<FolderListing> HeadlessFileSystem::ListFolder(const std::string& folderPath) {
    const Node* folder = Find(folderPath);
    if (folder == nullptr || !folder->folder || folder->unreadable) {
        return nullptr;
    }
    const bool driveRoot = separator_ == '\\' && root_->Child(folder->name) == folder;
    std::vector<FolderEntry> entries;
    if (!driveRoot) {
        entries.push_back(FolderEntry{".", 0, kWrittenAt, kFaFolder});
        entries.push_back(FolderEntry{"..", 0, kWrittenAt, kFaFolder});
    }
    for (const auto& child : folder->children) {
        entries.push_back(FolderEntry{child->name, child->contents.size(), kWrittenAt, child->attributes});
    }
    return std::make_unique<HeadlessListing>(std::move(entries));
}

}  // namespace duskpane
