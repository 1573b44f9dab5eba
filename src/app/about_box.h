// The About box with the maker's home page link.
#pragma once

#include "ui/controls.h"
#include "ui/form.h"

namespace duskpane {

// The maker's home page, shown and opened by the link.
inline constexpr const char* kHomePageAddress = "https://duskpane.example.org/";

class TAboutBox : public Form {
public:
    explicit TAboutBox(Application& app);

    Panel Panel2{this, "Panel2"};
    Label Label1{&Panel2, "Label1"};
    Label Label2{&Panel2, "Label2"};
    Image Image2{&Panel2, "Image2"};
    Label Label8{&Panel2, "Label8"};
    Label Label9{&Panel2, "Label9"};
    Button OKButton{this, "OKButton"};

    void URLLabelClick(Control& sender);
};

}  // namespace duskpane
