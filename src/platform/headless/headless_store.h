// The in-memory settings store: sections of typed values, observable and able to fail.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace duskpane {

// Behaves like the per-user registry: every write lands at once, values keep
// their kind, and a write into a section needs the section opened first. The
// store must outlive the keys it hands out.
class HeadlessSettingsStore : public SettingsStore {
public:
    std::unique_ptr<SettingsKey> OpenProgramKey() override;

    // ---- observation
    bool KeyExists() const { return keyExists_; }
    std::vector<std::string> Sections() const;
    // The values of a section by name; empty when the section is missing.
    std::map<std::string, StoredValue> Values(const std::string& section) const;
    // Kind None when the section or the value is missing.
    StoredValue Value(const std::string& section, const std::string& name) const;
    size_t ValueCount() const;

    // ---- planting values as another program could (creates key and section)
    void PutInteger(const std::string& section, const std::string& name, int32_t value);
    void PutText(const std::string& section, const std::string& name, const std::string& value);
    // A value of a kind that is neither a 32-bit integer nor text (raw bytes).
    void PutOther(const std::string& section, const std::string& name, const std::string& bytes);
    void Clear();

    // ---- failures
    // Opening (and creating) the section fails from now on.
    void FailSectionCreation(const std::string& section) { failingSections_.insert(section); }
    void AllowSectionCreation(const std::string& section) { failingSections_.erase(section); }
    // Writing this value fails from now on.
    void FailValueWrite(const std::string& section, const std::string& name) {
        failingValues_.insert({section, name});
    }
    void SetFlushFails(bool fails) { flushFails_ = fails; }
    // The whole store cannot be opened: OpenProgramKey gives null.
    void SetUnopenable(bool unopenable) { unopenable_ = unopenable; }

    // Counts of calls made through keys, for checks that nothing was written.
    int WriteCount() const { return writeCount_; }
    int FlushCount() const { return flushCount_; }

private:
    friend class HeadlessSettingsKey;
    using Section = std::map<std::string, StoredValue>;

    void Put(const std::string& section, const std::string& name, StoredValue value);

    bool keyExists_ = false;
    std::map<std::string, Section> sections_;
    std::set<std::string> failingSections_;
    std::set<std::pair<std::string, std::string>> failingValues_;
    bool flushFails_ = false;
    bool unopenable_ = false;
    int writeCount_ = 0;
    int flushCount_ = 0;
};

}  // namespace duskpane
