// The message loop, its hook, handler errors and the forms' lifetime.
#include "ui/application.h"

#include <algorithm>
#include <cstdio>

#include "ui/controls.h"
#include "ui/form.h"

namespace duskpane {

Application::Application(UiBackend& backend, Shell& shell) : backend_(backend), shell_(shell) {}

Application::~Application() {
    DestroyPeers();
    // Forms go last created first, as their controls may refer to earlier ones.
    while (!forms_.empty()) forms_.pop_back();
}

void Application::Adopt(std::unique_ptr<Form> form) {
    Form* raw = form.get();
    forms_.push_back(std::move(form));
    if (!mainForm_) mainForm_ = raw;
    if (raw->State == WindowState::Maximized) {
        const ScreenSize screen = backend_.PrimaryScreen();
        raw->SetBounds(0, 0, screen.width, screen.height);
    }
    Invoke([&] {
        if (raw->OnCreate) raw->OnCreate(*raw);
    });
}

void Application::Run() {
    if (!mainForm_) return;
    Invoke([&] { mainForm_->Show(); });
    while (!terminated_) ProcessMessages(true);
}

void Application::Terminate() {
    terminated_ = true;
    backend_.Wake();
}

void Application::RequestEnd(bool forced) {
    if (terminated_ || ending_ || !mainForm_) return;
    ending_ = true;
    const std::vector<Form*> open(modals_);
    for (auto it = open.rbegin(); it != open.rend(); ++it) Invoke([form = *it] { form->EndModalAsCancel(); });
    if (!forced) {
        Invoke([this] { mainForm_->Close(); });
        ending_ = false;
        return;
    }
    std::string failure = "the main window did not close";
    try {
        mainForm_->Close();
    } catch (const std::exception& error) {
        failure = error.what();
    }
    if (terminated_) return;
    std::fprintf(stderr, "duskpane: ending without saving the settings: %s\n", failure.c_str());
    exitCode_ = 1;
    Terminate();
}

void Application::PushModal(Form* form) { modals_.push_back(form); }

void Application::PopModal(Form* form) { modals_.erase(std::remove(modals_.begin(), modals_.end(), form), modals_.end()); }

void Application::ProcessMessages(bool wait) { backend_.ProcessMessages(*this, wait); }

void Application::Invoke(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowException(error);
    }
}

void Application::ShowException(const std::exception& error) {
    MessageBox(mainForm_, error.what(), Title, kMbOk | kMbIconError);
}

int Application::MessageBox(Form* owner, const std::string& text, const std::string& caption,
                            uint32_t flags) {
    return shell_.MessageBox(owner, text, caption, flags, *this);
}

bool Application::Process(Message& message) {
    bool handled = false;
    if (OnMessage) Invoke([&] { OnMessage(message, handled); });
    if (handled) return true;
    if (message.kind == MessageKind::Timer) {
        auto* timer = reinterpret_cast<Timer*>(message.handle);
        if (std::find(timers_.begin(), timers_.end(), timer) != timers_.end())
            Invoke([&] { timer->Fire(); });
        return true;
    }
    return false;
}

void Application::PrimaryScreenChanged() {
    const ScreenSize screen = backend_.PrimaryScreen();
    Invoke([&] {
        for (const auto& form : forms_)
            if (form->State == WindowState::Maximized) form->SetBounds(0, 0, screen.width, screen.height);
    });
}

void Application::RegisterTimer(Timer* timer) { timers_.push_back(timer); }

void Application::UnregisterTimer(Timer* timer) {
    timers_.erase(std::remove(timers_.begin(), timers_.end(), timer), timers_.end());
}

void Application::DestroyPeers() {
    for (auto it = forms_.rbegin(); it != forms_.rend(); ++it) (*it)->DestroyPeers();
}

}  // namespace duskpane
