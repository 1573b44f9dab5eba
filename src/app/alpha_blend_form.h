// The transparency dialog: the dimming window's alpha, applied live, kept
// and saved on OK, restored on any other close.
#pragma once

#include "ui/controls.h"
#include "ui/form.h"

namespace duskpane {

class TAlphaBlendForm : public Form {
public:
    explicit TAlphaBlendForm(Application& app);

    int32_t SavedAlpha = 0;

    Panel Panel1{this, "Panel1"};
    Label Label2{&Panel1, "Label2"};
    TrackBar BlendTrackBar{&Panel1, "BlendTrackBar"};
    Label Label4{&Panel1, "Label4"};
    Label Label6{&Panel1, "Label6"};
    Label Label7{&Panel1, "Label7"};
    Button OkBtn{this, "OkBtn"};
    Button CancelBtn{this, "CancelBtn"};

    void FormShow(Control& sender);
    void BlendTrackBarChange(Control& sender);
    void FormCloseQuery(Control& sender, bool& canClose);
};

}  // namespace duskpane
