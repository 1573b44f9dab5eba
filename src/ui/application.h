// The application: its forms, the message loop with the application-wide
// hook, modal loops, and the standard error box.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui_seam.h"

namespace duskpane {

class Form;
class Timer;

class Application : public MessageSink {
public:
    Application(UiBackend& backend, Shell& shell);
    ~Application() override;

    UiBackend& Backend() const { return backend_; }
    Shell& GetShell() const { return shell_; }

    std::string Title;

    // Builds a form, sets the program's reference to it, creates its peers
    // and runs its create handler. The first form created is the main form.
    template <class T, class... Args>
    T* CreateForm(T*& reference, Args&&... args) {
        auto form = std::make_unique<T>(*this, std::forward<Args>(args)...);
        reference = form.get();
        Adopt(std::move(form));
        return reference;
    }
    Form* MainForm() const { return mainForm_; }

    // The application-wide message hook: sees every message taken from the
    // queue before it is dispatched; set handled to keep it from dispatch.
    std::function<void(Message& message, bool& handled)> OnMessage;

    // Shows the main form and runs the loop until it closes.
    void Run();
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Ends the program as the system or the desktop asks it to (a signal,
    // the end of the session, the taskbar's close): the dialogs open now
    // close first as their Cancel would, innermost first, then the main
    // form closes. Requests that come while that runs only wait for it.
    // A forced end ends the program even when the close fails (its error
    // goes to standard error and the exit code is 1); otherwise a failed
    // close shows its error and the program goes on, as after Escape.
    void RequestEnd(bool forced);
    // What the process returns: 0, or 1 after a forced end whose close failed.
    int ExitCode() const { return exitCode_; }
    // Modal forms, innermost last, while their loops run.
    void PushModal(Form* form);
    void PopModal(Form* form);
    // Handles the queued messages; with wait, waits for at least one.
    void ProcessMessages(bool wait);
    // Runs a handler; an error is shown in the standard error box.
    void Invoke(const std::function<void()>& handler);
    void ShowException(const std::exception& error);

    int MessageBox(Form* owner, const std::string& text, const std::string& caption, uint32_t flags);

    // MessageSink
    bool Process(Message& message) override;
    void Deliver(const std::function<void()>& action) override { Invoke(action); }
    void PrimaryScreenChanged() override;

    // Timers register themselves so that their ticks find them.
    void RegisterTimer(Timer* timer);
    void UnregisterTimer(Timer* timer);

    // Destroys every form's peers, last created first (before the backend ends).
    void DestroyPeers();

private:
    void Adopt(std::unique_ptr<Form> form);

    UiBackend& backend_;
    Shell& shell_;
    std::vector<std::unique_ptr<Form>> forms_;
    std::vector<Timer*> timers_;
    std::vector<Form*> modals_;
    Form* mainForm_ = nullptr;
    bool terminated_ = false;
    bool ending_ = false;
    int exitCode_ = 0;
};

}  // namespace duskpane
