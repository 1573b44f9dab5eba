// The program: its five windows created in order over one platform.
#include "app/forms.h"

#include "app/about_box.h"
#include "app/alpha_blend_form.h"
#include "app/main_form.h"
#include "app/sub_form.h"
#include "wallpaper/wallpaper_form.h"

namespace duskpane {

TMainForm* MainForm = nullptr;
TWallPaperForm* WallPaperForm = nullptr;
TAboutBox* AboutBox = nullptr;
TSubForm* SubForm = nullptr;
TAlphaBlendForm* AlphaBlendForm = nullptr;

Program::Program(Platform& platform)
    : platform_(platform), volume_(platform.audio), app_(platform.ui, platform.shell) {}

Program::~Program() {
    app_.DestroyPeers();
    MainForm = nullptr;
    WallPaperForm = nullptr;
    AboutBox = nullptr;
    SubForm = nullptr;
    AlphaBlendForm = nullptr;
}

void Program::Create() {
    app_.Title = "Duskpane";
    app_.CreateForm(MainForm, platform_, volume_);
    app_.CreateForm(WallPaperForm, platform_);
    app_.CreateForm(AboutBox);
    app_.CreateForm(SubForm);
    SubForm->SetPopupMenu(&MainForm->PopupMenu);
    app_.CreateForm(AlphaBlendForm);
}

void Program::Show() {
    app_.Invoke([&] { MainForm->Show(); });
}

int Program::Run() {
    Create();
    app_.Run();
    return app_.ExitCode();
}

}  // namespace duskpane
