// The in-memory ui backend: scripted user, fake queue and clock.
#include "platform/headless/headless_ui.h"

#include <algorithm>

#include "platform/headless/headless_time.h"
#include "ui/control.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/menu.h"
#include "ui/application.h"

namespace duskpane {

class HeadlessControlPeer : public ControlPeer {
public:
    HeadlessControlPeer(HeadlessUi& ui, Control& control) : ui_(ui), control_(control) {}
    ~HeadlessControlPeer() override {
        if (ui_.nativeFocus_ == &control_) ui_.nativeFocus_ = nullptr;
    }
    void Changed(Change what) override {
        ++ui_.changes_[{&control_, what}];
        if (what == Change::Focus) ui_.nativeFocus_ = &control_;
        if (what == Change::Visible && control_.Kind() == ControlKind::Form && control_.Visible())
            ui_.formsShown.push_back(control_.Name());
    }

protected:
    HeadlessUi& ui_;
    Control& control_;
};

// A form's window in memory: it shows, moves and paints as the portable
// decisions say, with no border around its client area.
class HeadlessFormPeer : public HeadlessControlPeer, public FormPeerBase {
public:
    HeadlessFormPeer(HeadlessUi& ui, Form& form) : HeadlessControlPeer(ui, form), FormPeerBase(form) {
        ui_.forms_[&form] = this;
        ApplyAllForm();
    }
    ~HeadlessFormPeer() override {
        ui_.forms_.erase(&GetForm());
        std::erase_if(ui_.deferred_, [this](const auto& work) { return work.first == this; });
    }
    void Changed(Change what) override {
        HeadlessControlPeer::Changed(what);
        ApplyFormChange(what);
    }
    bool IsShown() const override { return shown_; }
    Rect Frame() const { return frame_; }
    // Nothing is painted in memory: the kit composes what a test looks at.
    void Repaint(const Rect&) override {}

private:
    bool QueueShow() override {
        ui_.deferred_.emplace_back(this, [this] { ShowWhenDue(); });
        return true;
    }
    void Appear() override { shown_ = true; }
    void Hide() override { shown_ = false; }
    void SetFrame(const Rect& area) override { frame_ = area; }
    void SetClientSize(int width, int height) override {
        frame_.right = frame_.left + width;
        frame_.bottom = frame_.top + height;
    }
    void SetWindowEnabled(bool) override {}
    void SetTitle(const std::string&) override {}
    void ApplyAlpha() override {}
    void ApplyLayered() override {}
    void Raise() override {}
    void SetModal(bool) override {}
    Rect OuterFrame() const override { return frame_; }
    Rect ScreenArea() const override { return Rect{0, 0, ui_.screen.width, ui_.screen.height}; }
    std::optional<Rect> OwnerFrame() const override {
        const Form* main = ui_.app_ ? ui_.app_->MainForm() : nullptr;
        auto owner = main ? ui_.forms_.find(main) : ui_.forms_.end();
        if (owner == ui_.forms_.end() || owner->second == this || !owner->second->shown_) return std::nullopt;
        return owner->second->frame_;
    }
    void MoveFrameTo(int left, int top) override {
        frame_ = Rect{left, top, left + frame_.Width(), top + frame_.Height()};
    }
    void FocusQuietly(Control& control) override { ui_.nativeFocus_ = &control; }

    bool shown_ = false;
    Rect frame_;
};

struct HeadlessPeerMaker {
    HeadlessUi& ui;
    const std::map<const Form*, HeadlessFormPeer*>& forms;
    using Peer = std::unique_ptr<ControlPeer>;
    HeadlessFormPeer* FormPeerOf(const Form& form) const {
        auto it = forms.find(&form);
        return it == forms.end() ? nullptr : it->second;
    }
    Peer Drawn(Control& control, HeadlessFormPeer& form) const {
        return std::make_unique<DrawnPeer<HeadlessControlPeer>>(ui, control, form);
    }
    Peer operator()(Control& control) const { return std::make_unique<HeadlessControlPeer>(ui, control); }
};

class HeadlessTimerPeer : public TimerPeer {
public:
    HeadlessTimerPeer(HeadlessUi& ui, Timer& timer) : ui_(ui), timer_(timer) {}
    ~HeadlessTimerPeer() override { ui_.timers_.erase(&timer_); }
    void Update(bool enabled, uint32_t intervalMs) override {
        auto& state = ui_.timers_[&timer_];
        state.enabled = enabled;
        state.interval = intervalMs;
        state.due = ui_.now_ + intervalMs;
    }

private:
    HeadlessUi& ui_;
    Timer& timer_;
};

HeadlessUi::HeadlessUi(HeadlessTimeService& time) : time_(time) {}

HeadlessUi::~HeadlessUi() = default;

int HeadlessUi::ChangeCount(const Control& control, Change what) const {
    auto it = changes_.find({&control, what});
    return it == changes_.end() ? 0 : it->second;
}

void HeadlessUi::ResetChangeCounts() { changes_.clear(); }

void HeadlessUi::AnswerMessageBox(int answer, std::function<void()> whileOpen) {
    answers_.push_back({answer, std::move(whileOpen)});
}

std::unique_ptr<ControlPeer> HeadlessUi::CreatePeer(Control& control) {
    if (control.Kind() == ControlKind::Form) {
        auto& form = static_cast<Form&>(control);
        if (!app_) app_ = &form.FormApp();
        return std::make_unique<HeadlessFormPeer>(*this, form);
    }
    return MakeChildPeerWith(control, HeadlessPeerMaker{*this, forms_});
}

bool HeadlessUi::WindowShown(const Form& form) const {
    auto it = forms_.find(&form);
    return it != forms_.end() && it->second->IsShown();
}

Rect HeadlessUi::WindowFrame(const Form& form) const {
    auto it = forms_.find(&form);
    return it == forms_.end() ? Rect{} : it->second->Frame();
}

std::unique_ptr<TimerPeer> HeadlessUi::CreateTimerPeer(Timer& timer, MessageSink& sink) {
    sink_ = &sink;
    return std::make_unique<HeadlessTimerPeer>(*this, timer);
}

void HeadlessUi::RunPending() {
    while (!deferred_.empty()) {
        auto work = std::move(deferred_.front().second);
        deferred_.pop_front();
        work();
    }
    if (!sink_) return;
    while (!queue_.empty()) {
        Message message = queue_.front();
        queue_.pop_front();
        sink_->Process(message);
    }
}

void HeadlessUi::Advance(uint32_t ms) {
    const uint64_t target = now_ + ms;
    for (;;) {
        RunPending();
        Timer* next = nullptr;
        uint64_t due = 0;
        for (auto& [timer, state] : timers_) {
            if (!state.enabled || state.interval == 0 || state.due > target) continue;
            if (!next || state.due < due) {
                next = timer;
                due = state.due;
            }
        }
        if (!next) break;
        time_.Advance(uint32_t(due - now_));
        now_ = due;
        timers_[next].due = due + timers_[next].interval;
        Message tick{MessageKind::Timer, reinterpret_cast<uintptr_t>(next), nullptr, 0};
        if (sink_) sink_->Process(tick);
    }
    time_.Advance(uint32_t(target - now_));
    now_ = target;
    RunPending();
}

void HeadlessUi::ChangePrimaryScreen(int width, int height) {
    screen = {width, height};
    if (sink_) sink_->PrimaryScreenChanged();
}

void HeadlessUi::RunScripted() {
    if (script_.empty())
        throw HeadlessScriptError("the program waits for input that the test did not give");
    auto action = std::move(script_.front());
    script_.pop_front();
    if (sink_)
        sink_->Deliver(action);
    else
        action();
}

void HeadlessUi::ProcessMessages(MessageSink& sink, bool wait) {
    sink_ = &sink;
    if (!queue_.empty() || !deferred_.empty()) {
        RunPending();
        return;
    }
    if (wait) RunScripted();
}

void HeadlessUi::ShowPopupMenu(PopupMenu& menu, Form&, int, int, MessageSink& sink) {
    sink_ = &sink;
    std::vector<std::string> captions;
    for (MenuItem* item : menu.ShownItems()) captions.push_back(item->Caption());
    menusShown.push_back(std::move(captions));
    // The menu stays open for one user action: a pick, or anything else
    // (which closes it); with nothing scripted it is dismissed.
    if (!script_.empty()) RunScripted();
}

int HeadlessUi::MessageBox(Form* owner, const std::string& text, const std::string& caption,
                           uint32_t flags, MessageSink& sink) {
    sink_ = &sink;
    ShownMessageBox box{owner ? owner->Name() : std::string(), text, caption, flags, 0};
    const size_t index = messageBoxes.size();
    messageBoxes.push_back(box);
    int answer = kIdOk;
    if (!answers_.empty()) {
        Answer next = std::move(answers_.front());
        answers_.pop_front();
        if (next.whileOpen) sink.Deliver(next.whileOpen);
        answer = next.answer;
    } else if ((flags & 0x0F) != kMbOk) {
        throw HeadlessScriptError("a question box was shown that the test did not answer: " + text);
    }
    messageBoxes[index].answer = answer;
    return answer;
}

std::optional<std::string> HeadlessUi::OpenPicture(Form*, const std::string& filter, PictureDecoder&) {
    pictureFilters.push_back(filter);
    if (pictures_.empty()) throw HeadlessScriptError("the picture dialog opened without a scripted choice");
    auto choice = std::move(pictures_.front());
    pictures_.pop_front();
    return choice;
}

std::optional<std::string> HeadlessUi::BrowseFolder(Form*, const std::string& title,
                                                    const std::string& initialFolder) {
    folderRequests.push_back({title, initialFolder});
    if (folders_.empty()) throw HeadlessScriptError("the folder browser opened without a scripted choice");
    auto choice = std::move(folders_.front());
    folders_.pop_front();
    return choice;
}

void HeadlessUi::OpenUrl(Form*, const std::string& url) { urlsOpened.push_back(url); }

Bitmap32 HeadlessUi::ComposeScreen(const Form* dimmer, const Form* top, Pixel desktop) const {
    Bitmap32 screenBitmap(screen.width, screen.height, desktop);
    if (dimmer && dimmer->Visible()) {
        const Bitmap32 layer = dimmer->Render();
        const unsigned alpha = dimmer->AlphaBlend ? dimmer->AlphaBlendValue() : 255u;
        auto mix = [alpha](unsigned over, unsigned under) {
            return uint8_t((over * alpha + under * (255u - alpha) + 127u) / 255u);
        };
        for (int y = 0; y < layer.Height(); ++y)
            for (int x = 0; x < layer.Width(); ++x) {
                const int sx = dimmer->Left() + x, sy = dimmer->Top() + y;
                if (!screenBitmap.Contains(sx, sy)) continue;
                const Pixel over = layer.At(x, y), under = screenBitmap.At(sx, sy);
                screenBitmap.Set(sx, sy,
                                 MakeRgb(mix(RedOf(over), RedOf(under)), mix(GreenOf(over), GreenOf(under)),
                                         mix(BlueOf(over), BlueOf(under))));
            }
    }
    if (top && top->Visible()) {
        const Bitmap32 layer = top->Render();
        for (int y = 0; y < layer.Height(); ++y)
            for (int x = 0; x < layer.Width(); ++x) {
                const Pixel p = layer.At(x, y);
                if (top->ColourKeyBlack() && p == kBlack) continue;
                screenBitmap.Plot(top->Left() + x, top->Top() + y, p);
            }
    }
    return screenBitmap;
}

}  // namespace duskpane
