// The program's settings file: sections of named values in the per-user store.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace duskpane {

// Bound to the program's key for the life of one load or one save. The key is
// opened (and created when missing) at construction and closed at destruction.
class FBRegIni {
public:
    explicit FBRegIni(SettingsStore& store);
    ~FBRegIni();
    FBRegIni(const FBRegIni&) = delete;
    FBRegIni& operator=(const FBRegIni&) = delete;

    // The reads raise the data type error for a value of a kind that cannot
    // be read (neither a 32-bit integer nor text). Integers and booleans
    // stored as text are read from their decimal form, a text stored as an
    // integer reads as its decimal form.
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue);
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t defaultValue);
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue);

    void WriteBool(const std::string& section, const std::string& key, bool value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    void WriteString(const std::string& section, const std::string& key,
                     const std::string& value);

    // Makes the writes so far durable; raises the key error of the last
    // section written when that fails.
    void UpdateFile();

    // False when the store could not be opened at all.
    bool IsOpen() const { return key_ != nullptr; }

private:
    // The key with the section opened for writing; raises the key error when
    // the key or the section is not available.
    SettingsKey& SectionForWriting(const std::string& section);

    std::unique_ptr<SettingsKey> key_;
    std::string lastSection_;
};

// The data type error's text for a value's name.
std::string DataTypeErrorText(const std::string& name);

// The decimal number a stored text stands for: optional leading blanks, an
// optional sign, digits and nothing after them, within 32 bits.
bool ParseDecimalInt32(const std::string& text, int32_t& value);

}  // namespace duskpane
