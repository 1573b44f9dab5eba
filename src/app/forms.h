// The program's five windows, each once for the life of the process, and
// the program that composes them over a platform.
#pragma once

#include <memory>

#include "audio/volume.h"
#include "platform/platform.h"
#include "ui/application.h"

namespace duskpane {

class TMainForm;
class TWallPaperForm;
class TAboutBox;
class TSubForm;
class TAlphaBlendForm;

// The global references, set while a program exists.
extern TMainForm* MainForm;
extern TWallPaperForm* WallPaperForm;
extern TAboutBox* AboutBox;
extern TSubForm* SubForm;
extern TAlphaBlendForm* AlphaBlendForm;

class Program {
public:
    explicit Program(Platform& platform);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    Application& App() { return app_; }
    VolumeControl& Volume() { return volume_; }

    // Sets the title and creates the five windows in their order.
    void Create();
    // Shows the main window (its show handler runs first).
    void Show();
    // Create, show, run the loop until the main window closes; the exit code
    // (1 only when the system ended the program and its settings could not
    // be saved).
    int Run();

private:
    Platform& platform_;
    VolumeControl volume_;
    Application app_;
};

}  // namespace duskpane
