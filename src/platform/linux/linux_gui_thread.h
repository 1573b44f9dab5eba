// How the Linux services reach the GUI thread: the Qt backend implements it,
// the sound services use it to hand their buffers over.
#pragma once

#include <functional>

#include "platform/ui_seam.h"

namespace duskpane {

class GuiThreadPoster {
public:
    virtual ~GuiThreadPoster() = default;
    // Runs the work on the GUI thread, soon; callable from any thread.
    virtual void RunOnGuiThread(std::function<void()> work) = 0;
    // Puts a message in the program's queue (GUI thread only): the loop takes
    // it, offers it to the application-wide hook, then dispatches it, also
    // while a menu, a message box or a dialog runs its own loop.
    virtual void PostMessage(const Message& message) = 0;
};

}  // namespace duskpane
