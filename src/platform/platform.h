// The one seam between the portable program and a platform backend.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace duskpane {

// ---------------------------------------------------------------- time

struct LocalTimeOfDay {
    int hour = 0;    // 0..23
    int minute = 0;  // 0..59
    int second = 0;  // 0..59
};

class TimeService {
public:
    virtual ~TimeService() = default;
    // Milliseconds since system start; wraps modulo 2^32.
    virtual uint32_t TickCount() = 0;
    virtual LocalTimeOfDay LocalTime() = 0;
    // Seconds of the calendar clock, used to seed the slideshow generator.
    virtual int64_t CalendarSeconds() = 0;
};

// ---------------------------------------------------------------- files

// Attribute bits of a directory entry.
constexpr uint32_t kFaHidden = 0x02;
constexpr uint32_t kFaSystem = 0x04;
constexpr uint32_t kFaFolder = 0x10;
constexpr uint32_t kFaArchive = 0x20;

// One directory entry as a listing fills it.
struct ffblk {
    uint32_t ff_reserved = 0;
    uint32_t ff_fsize = 0;
    uint32_t ff_attrib = 0;
    uint16_t ff_ftime = 0;  // hours 11-15, minutes 5-10, seconds/2 0-4
    uint16_t ff_fdate = 0;  // years since 1980 9-15, month 5-8, day 0-4
    char ff_name[260] = {};
};

// An open directory listing; destroying it closes the listing.
class DirectoryListing {
public:
    virtual ~DirectoryListing() = default;
    // The following matching entry; false at the end.
    virtual bool Next(ffblk& entry) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual bool FileExists(const std::string& path) = 0;
    // Starts a listing for a pattern of the form folder + '\' + wildcard and
    // fills the first matching entry; null when there is no such folder,
    // nothing matches or the folder cannot be read.
    virtual std::unique_ptr<DirectoryListing> FindFirst(const std::string& pattern,
                                                        uint32_t attributes,
                                                        ffblk& first) = 0;
    // The separator put between a folder and an entry name in a full path.
    virtual char PathSeparator() const = 0;
};

// ---------------------------------------------------------------- settings

enum class StoredKind { None, Integer, Text, Other };

struct StoredValue {
    StoredKind kind = StoredKind::None;
    int32_t integer = 0;
    std::string text;
};

// The program's open key in the per-user settings store: sections holding
// named values of a kind.
class SettingsKey {
public:
    virtual ~SettingsKey() = default;
    // Kind None when the section or the value is missing.
    virtual StoredValue Read(const std::string& section, const std::string& name) = 0;
    // Opens the section for writing, creating it when missing.
    virtual bool CreateSection(const std::string& section) = 0;
    virtual bool WriteInteger(const std::string& section, const std::string& name,
                              int32_t value) = 0;
    virtual bool WriteText(const std::string& section, const std::string& name,
                           const std::string& value) = 0;
    // Makes every write so far durable at once; false when that failed.
    virtual bool Flush() = 0;
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Opens the program's key, creating it when missing; null when the store
    // cannot be opened at all.
    virtual std::unique_ptr<SettingsKey> OpenProgramKey() = 0;
};

// ---------------------------------------------------------------- audio

// The output volume as the spectrum reads it for every buffer.
class VolumeReader {
public:
    virtual ~VolumeReader() = default;
    // The current output volume in raw units; false when it cannot be read.
    virtual bool GetVolumeRaw(uint32_t& value) = 0;
};

}  // namespace duskpane
