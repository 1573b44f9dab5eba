// Reads and writes of typed values in the program's key, with the store's conversions.
#include "settings/fbregini.h"

#include <string>
#include <utility>

#include "util/errors.h"

namespace duskpane {

namespace {

constexpr const char* kDataTypeError = "'%s' のデータ型が不正です";
constexpr const char* kKeyCreateError = "キー %s の作成に失敗しました";

[[noreturn]] void RaiseDataTypeError(const std::string& name) {
    throw AppError(DataTypeErrorText(name));
}

[[noreturn]] void RaiseKeyError(const std::string& section) {
    throw AppError(FormatMessage1(kKeyCreateError, section));
}

}  // namespace

std::string DataTypeErrorText(const std::string& name) {
    return FormatMessage1(kDataTypeError, name);
}

bool ParseDecimalInt32(const std::string& text, int32_t& value) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    if (at == text.size()) return false;
    // Accumulated as a magnitude so that -2147483648 is accepted.
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t magnitude = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c < '0' || c > '9') return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) return false;
    }
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

FBRegIni::FBRegIni(SettingsStore& store) : key_(store.OpenProgramKey()) {}

FBRegIni::~FBRegIni() = default;

bool FBRegIni::ReadBool(const std::string& section, const std::string& key, bool defaultValue) {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

int32_t FBRegIni::ReadInteger(const std::string& section, const std::string& key,
                              int32_t defaultValue) {
    if (!key_) return defaultValue;
    const StoredValue stored = key_->Read(section, key);
    switch (stored.kind) {
        case StoredKind::None:
            return defaultValue;
        case StoredKind::Integer:
            return stored.integer;
        case StoredKind::Text: {
            int32_t value = 0;
            return ParseDecimalInt32(stored.text, value) ? value : defaultValue;
        }
        case StoredKind::Other:
            break;
    }
    RaiseDataTypeError(key);
}

std::string FBRegIni::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) {
    if (!key_) return defaultValue;
    StoredValue stored = key_->Read(section, key);
    switch (stored.kind) {
        case StoredKind::None:
            return defaultValue;
        case StoredKind::Text:
            return std::move(stored.text);
        case StoredKind::Integer:
            // A number another tool stored where a text belongs.
            return std::to_string(stored.integer);
        case StoredKind::Other:
            break;
    }
    RaiseDataTypeError(key);
}

void FBRegIni::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void FBRegIni::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    SettingsKey& open = SectionForWriting(section);
    // A number kept as text stays text, so that a value someone stored as a
    // string keeps its kind.
    const bool ok = open.Read(section, key).kind == StoredKind::Text
                        ? open.WriteText(section, key, std::to_string(value))
                        : open.WriteInteger(section, key, value);
    if (!ok) RaiseKeyError(section);
}

void FBRegIni::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    if (!SectionForWriting(section).WriteText(section, key, value)) RaiseKeyError(section);
}

void FBRegIni::UpdateFile() {
    if (!key_) {
        if (!lastSection_.empty()) RaiseKeyError(lastSection_);
        return;
    }
    if (!key_->Flush()) RaiseKeyError(lastSection_);
}

SettingsKey& FBRegIni::SectionForWriting(const std::string& section) {
    lastSection_ = section;
    if (!key_ || !key_->CreateSection(section)) RaiseKeyError(section);
    return *key_;
}

}  // namespace duskpane
