// The dimming window: black at a constant alpha over the desktop, carrying
// the wallpaper picture.
#pragma once

#include "ui/controls.h"
#include "ui/form.h"

namespace duskpane {

class TSubForm : public Form {
public:
    explicit TSubForm(Application& app);

    Image PhotoImage{this, "PhotoImage"};

    void FormKeyDown(Control& sender, int& key, unsigned shift);
    void FormResize(Control& sender);
};

}  // namespace duskpane
