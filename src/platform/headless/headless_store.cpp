// The in-memory settings store and its open key.
#include "platform/headless/headless_store.h"

#include <cassert>

namespace duskpane {

class HeadlessSettingsKey : public SettingsKey {
public:
    explicit HeadlessSettingsKey(HeadlessSettingsStore& store) : store_(store) {}

    StoredValue Read(const std::string& section, const std::string& name) override {
        return store_.Value(section, name);
    }

    bool CreateSection(const std::string& section) override {
        if (store_.failingSections_.count(section) != 0) return false;
        store_.sections_[section];
        opened_.insert(section);
        return true;
    }

    bool WriteInteger(const std::string& section, const std::string& name,
                      int32_t value) override {
        StoredValue stored;
        stored.kind = StoredKind::Integer;
        stored.integer = value;
        return Write(section, name, std::move(stored));
    }

    bool WriteText(const std::string& section, const std::string& name,
                   const std::string& value) override {
        StoredValue stored;
        stored.kind = StoredKind::Text;
        stored.text = value;
        return Write(section, name, std::move(stored));
    }

    bool Flush() override {
        ++store_.flushCount_;
        return !store_.flushFails_;
    }

private:
    bool Write(const std::string& section, const std::string& name, StoredValue value) {
        assert(opened_.count(section) != 0 && "a section is opened before its values are written");
        ++store_.writeCount_;
        if (store_.failingValues_.count({section, name}) != 0) return false;
        store_.sections_[section][name] = std::move(value);
        return true;
    }

    HeadlessSettingsStore& store_;
    std::set<std::string> opened_;
};

std::unique_ptr<SettingsKey> HeadlessSettingsStore::OpenProgramKey() {
    if (unopenable_) return nullptr;
    keyExists_ = true;
    return std::make_unique<HeadlessSettingsKey>(*this);
}

std::vector<std::string> HeadlessSettingsStore::Sections() const {
    std::vector<std::string> names;
    for (const auto& entry : sections_) names.push_back(entry.first);
    return names;
}

std::map<std::string, StoredValue> HeadlessSettingsStore::Values(const std::string& section) const {
    const auto found = sections_.find(section);
    return found == sections_.end() ? Section() : found->second;
}

StoredValue HeadlessSettingsStore::Value(const std::string& section,
                                         const std::string& name) const {
    const auto found = sections_.find(section);
    if (found == sections_.end()) return {};
    const auto value = found->second.find(name);
    return value == found->second.end() ? StoredValue() : value->second;
}

size_t HeadlessSettingsStore::ValueCount() const {
    size_t count = 0;
    for (const auto& entry : sections_) count += entry.second.size();
    return count;
}

void HeadlessSettingsStore::PutInteger(const std::string& section, const std::string& name,
                                       int32_t value) {
    StoredValue stored;
    stored.kind = StoredKind::Integer;
    stored.integer = value;
    Put(section, name, std::move(stored));
}

void HeadlessSettingsStore::PutText(const std::string& section, const std::string& name,
                                    const std::string& value) {
    StoredValue stored;
    stored.kind = StoredKind::Text;
    stored.text = value;
    Put(section, name, std::move(stored));
}

void HeadlessSettingsStore::PutOther(const std::string& section, const std::string& name,
                                     const std::string& bytes) {
    StoredValue stored;
    stored.kind = StoredKind::Other;
    stored.text = bytes;
    Put(section, name, std::move(stored));
}

void HeadlessSettingsStore::Clear() {
    keyExists_ = false;
    sections_.clear();
}

void HeadlessSettingsStore::Put(const std::string& section, const std::string& name,
                                StoredValue value) {
    keyExists_ = true;
    sections_[section][name] = std::move(value);
}

}  // namespace duskpane
