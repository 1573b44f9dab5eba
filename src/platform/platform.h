// The one seam between the portable program and a platform backend.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui_seam.h"
#include "util/bitmap.h"
#include "util/picture_part.h"
#include "util/wave.h"

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

// Attribute bits of a folder entry.
constexpr uint32_t kFaHidden = 0x02;
constexpr uint32_t kFaSystem = 0x04;
constexpr uint32_t kFaFolder = 0x10;
constexpr uint32_t kFaArchive = 0x20;

// A calendar date and time of day; year 0 stands for a time that is not known.
struct LocalDateTime {
    int year = 0;
    int month = 0;   // 1..12
    int day = 0;     // 1..31
    int hour = 0;    // 0..23
    int minute = 0;  // 0..59
    int second = 0;  // 0..59 (60 for a leap second)
};

// One entry of a folder as the file system lists it.
struct FolderEntry {
    std::string name;         // without any folder part
    uint64_t size = 0;        // bytes
    LocalDateTime written;    // the last write, in local time
    uint32_t attributes = 0;  // kFa bits, and any other bits the system has
};

// An open listing of one folder; destroying it closes the listing.
class FolderListing {
public:
    virtual ~FolderListing() = default;
    // The next entry, in the file system's order; false at the end.
    virtual bool Next(FolderEntry& entry) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual bool FileExists(const std::string& path) = 0;
    // Starts listing every entry of one folder, its own "." and ".." where
    // the file system has them; null when there is no such folder or it
    // cannot be read.
    virtual std::unique_ptr<FolderListing> ListFolder(const std::string& folder) = 0;
    // The separator put between a folder and an entry name in a full path.
    virtual char PathSeparator() const = 0;
    // The system's own wildcards match names ignoring the case of their
    // letters, and so do a search's.
    virtual bool IgnoresCase() const = 0;
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

// ---------------------------------------------------------------- pictures

class PictureDecoder {
public:
    virtual ~PictureDecoder() = default;
    // Decodes the part of a file that the request keeps into 32-bit pixels,
    // never holding more of the picture than that part where the format
    // allows it; nullopt for anything that cannot be read or decoded, a
    // file whose data ends before its picture does among them (never ends
    // the process).
    virtual std::optional<DecodedPicture> DecodeBmp(const std::string& path, const PictureRequest& request) = 0;
    virtual std::optional<DecodedPicture> DecodeJpeg(const std::string& path, const PictureRequest& request) = 0;
};

// The constant-alpha blend of the system's blend library.
class BlendFunction {
public:
    virtual ~BlendFunction() = default;
    // Blends the source over the destination (same size) with a constant
    // alpha: each channel becomes src * alpha / 255 + dst * (255 - alpha) / 255.
    virtual bool AlphaBlend(Bitmap32& destination, const Bitmap32& source, uint8_t constantAlpha) = 0;
};

class BlendLibrary {
public:
    virtual ~BlendLibrary() = default;
    // Loads the library and looks the blend up; null when either is missing.
    // Destroying the function releases the library.
    virtual std::unique_ptr<BlendFunction> Load() = 0;
};

// ---------------------------------------------------------------- audio

// One opened capture device of the system's default input. Given a buffer,
// it records into it and, once the buffer is full, posts a CaptureData
// message carrying the device's handle and the buffer; from then on the
// buffer is the program's until it is given to the device again. Destroying
// the device stops it and closes it: it never writes into the buffer again.
class CaptureDevice {
public:
    virtual ~CaptureDevice() = default;
    virtual uintptr_t Handle() const = 0;
    // Gives the device the buffer to fill and keeps it recording; false when
    // the device does not take the buffer (it holds one already, or cannot
    // fill this one).
    virtual bool Fill(CaptureBuffer& buffer) = 0;
};

class CaptureService {
public:
    virtual ~CaptureService() = default;
    // Opens the system's default input for the format; null on failure.
    virtual std::unique_ptr<CaptureDevice> Open(const WaveFormat& format) = 0;
};

// The output volume as the spectrum reads it for every buffer.
class VolumeReader {
public:
    virtual ~VolumeReader() = default;
    // The current output volume in raw units; false when it cannot be read.
    virtual bool ReadVolumeRaw(uint32_t& value) = 0;
};

// The default output device's volume control: the level as a fraction of
// the full volume (0.0 to 1.0) and the mute state. A call answers false when
// the device has no such control or refused, and then leaves its
// out-argument alone.
class VolumeEndpoint {
public:
    virtual ~VolumeEndpoint() = default;
    // Finds the default output and its volume control; raises AppError when
    // the system's device list cannot be had, returns quietly when there is
    // no output device or it has no volume control.
    virtual void Init() = 0;
    virtual bool GetLevel(float& level) = 0;
    virtual bool SetLevel(float level) = 0;
    virtual bool GetMute(bool& muted) = 0;
    virtual bool SetMute(bool muted) = 0;
};

enum class VolumeControlKind { Level, Mute };

// A control of the mixer: its identifier and the bounds of its raw values.
struct MixerControlInfo {
    uint32_t id = 0;
    uint32_t minimum = 0;
    uint32_t maximum = 0;
};

// An opened multimedia mixer (device 0) and the controls of its speakers
// line; destroying it closes it. A call answers false when the mixer
// refused, and then leaves its out-argument alone.
class VolumeMixer {
public:
    virtual ~VolumeMixer() = default;
    // The speakers line's first control of a kind; false when the mixer has
    // no speakers line or the line no such control.
    virtual bool FindControl(VolumeControlKind kind, MixerControlInfo& control) = 0;
    // The uniform (all-channel) raw value of a control.
    virtual bool GetValue(uint32_t controlId, uint32_t& value) = 0;
    virtual bool SetValue(uint32_t controlId, uint32_t value) = 0;
};

// The system's output volume: the volume control of its default output
// device where the system has one, or else the multimedia mixer.
class AudioSystem {
public:
    virtual ~AudioSystem() = default;
    // The system has the output device's volume control (Windows from 6.0 on).
    virtual bool HasEndpointVolume() = 0;
    virtual std::unique_ptr<VolumeEndpoint> CreateEndpoint() = 0;
    // Opens the mixer and reads its capabilities; null when either fails,
    // and on a system that has no such mixer.
    virtual std::unique_ptr<VolumeMixer> OpenMixer() { return nullptr; }
};

// ---------------------------------------------------------------- the whole

// The services of one platform, composed once by the program's entry.
struct Platform {
    TimeService& time;
    FileSystem& files;
    SettingsStore& settings;
    PictureDecoder& pictures;
    BlendLibrary& blend;
    CaptureService& capture;
    AudioSystem& audio;
    UiBackend& ui;
    Shell& shell;
};

}  // namespace duskpane
