#pragma once
// The about window: product name, version, a few words on the program, the
// maker's home page and the system information tool.
#include <functional>

#include "controls/Controls.h"

namespace nocturo {

class frmAbout : public Form {
public:
    frmAbout();

    Image imgLogo{this, "imgLogo"};
    Label lblTitle{this, "lblTitle"};
    Label lblVersion{this, "lblVersion"};
    Label lblDescription{this, "lblDescription"};
    Label lblHomePage{this, "lblHomePage"};
    Image ImgSysInfo{this, "ImgSysInfo"};
    Label lblSysInfo{this, "lblSysInfo"};
    CommandButton lblOk{this, "lblOk"};

    void Form_Load();
    void Form_Unload();
    void lblOK_Click();
    void lblSysInfo_Click();
    // The picture and the texts open the maker's home page.
    void HomePage_Click();
    std::function<void()> onUnloaded;
};

// Starts the system information tool; tells the user when there is none.
void StartSysInfo();

}  // namespace nocturo
