// One of each headless service, composed into the platform the program gets.
#pragma once

#include "platform/headless/headless_audio.h"
#include "platform/headless/headless_capture.h"
#include "platform/headless/headless_files.h"
#include "platform/headless/headless_pictures.h"
#include "platform/headless/headless_store.h"
#include "platform/headless/headless_time.h"
#include "platform/headless/headless_ui.h"
#include "platform/headless/headless_user.h"
#include "platform/platform.h"

namespace duskpane {

struct HeadlessPlatform {
    HeadlessTimeService time;
    HeadlessFileSystem files;
    HeadlessSettingsStore settings;
    HeadlessPictureDecoder pictures{files};
    HeadlessBlendLibrary blend;
    HeadlessUi ui{time};
    HeadlessCaptureService capture{ui};
    HeadlessAudioSystem audio;
    HeadlessUser user{ui};
    Platform platform{time, files, settings, pictures, blend, capture, audio, ui, ui};
};

}  // namespace duskpane
