// The one seam between the portable program and a platform backend.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "audio/wave.h"
#include "platform/ui_seam.h"
#include "ui/bitmap.h"
#include "ui/picture_part.h"

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

// Result codes of the capture and mixer calls: 0 is success.
constexpr uint32_t kMmSuccess = 0;
constexpr uint32_t kMmError = 1;

// One opened capture device. Each buffer it fills is posted to the message
// queue as a CaptureData message carrying the device handle and the
// buffer's descriptor. Destroying it resets the device, which hands the
// buffer back unfilled, and closes it: it never writes into the buffer again.
class CaptureDevice {
public:
    virtual ~CaptureDevice() = default;
    virtual uintptr_t Handle() const = 0;
    virtual uint32_t PrepareHeader(WaveHeader& header) = 0;
    virtual uint32_t AddBuffer(WaveHeader& header) = 0;
    virtual uint32_t Start() = 0;
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

struct MixerControlInfo {
    uint32_t id = 0;
    uint32_t minimum = 0;
    uint32_t maximum = 0;
};

constexpr uint32_t kMixerControlVolume = 0x50030001;
constexpr uint32_t kMixerControlMute = 0x20010002;

// The multimedia mixer, device 0; every call answers a result code.
class AudioMixer {
public:
    virtual ~AudioMixer() = default;
    // Opens device 0 (again: a repeated open replaces the handle).
    virtual uint32_t Open() = 0;
    virtual uint32_t GetDevCaps() = 0;
    // The speakers destination line.
    virtual uint32_t GetSpeakersLine(uint32_t& lineId) = 0;
    // The line's first control of a type.
    virtual uint32_t GetLineControl(uint32_t lineId, uint32_t controlType, MixerControlInfo& control) = 0;
    // The uniform (all-channel) value of a control.
    virtual uint32_t GetControlValue(uint32_t controlId, uint32_t& value) = 0;
    virtual uint32_t SetControlValue(uint32_t controlId, uint32_t value) = 0;
};

// The output endpoint's volume interfaces.
class AudioEndpoint {
public:
    virtual ~AudioEndpoint() = default;
    // Finds the default output and its volume interface; raises AppError when
    // the device enumerator cannot be had, returns quietly when there is no
    // output device or it has no volume interface.
    virtual void Init() = 0;
    // False when there is no volume interface or it refused.
    virtual bool GetMasterVolumeLevelScalar(float& level) = 0;
    virtual bool SetMasterVolumeLevelScalar(float level) = 0;
    virtual bool GetMute(int32_t& mute) = 0;
    virtual bool SetMute(int32_t mute) = 0;
};

class AudioSystem {
public:
    virtual ~AudioSystem() = default;
    // The system is Windows 6.0 or later (on Linux: always).
    virtual bool VersionAtLeast6() = 0;
    virtual std::unique_ptr<AudioEndpoint> CreateEndpoint() = 0;
    virtual AudioMixer& Mixer() = 0;
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
