// The application object: switches h and v, the main window, the Help menu and keyboard help.
#pragma once

#include <cstdint>

#include "framework/tapplic.h"
#include "resources/resource.h"
#include "ui/switches.h"

// The oldest BWCC32.DLL the program's dialogs work with.
inline constexpr uint16_t kMinBwccVersion = 0x0200;

class SNTPApp : public TApplication {
public:
    // cmdLineTail: the command line after the program name; at most 79
    // characters are kept and scanned.
    SNTPApp(const char* name, HINSTANCE instance, HINSTANCE prevInstance, const char* cmdLineTail,
            int showCommand);

    // The framework's close query; closes the help window opened from the
    // Help menu when the answer is yes.
    bool QueryClose() override;

    // F1 (help contents), Shift+F1 (context-help mode) and the commands
    // answered with context help while that mode is on.
    bool FilterAppMessage(MSG& msg) override;

protected:
    // Builds the main dialog and the frame around it, fixes the frame's
    // style, show command, icon, menu and accelerators, checks and turns on
    // the BWCC controls.
    void BuildMainWindow() override;

    void CmContents();
    void CmAbout();

private:
    void ParseSwitches();
    // WinHelp for the main window with the full path of the help file.
    BOOL CallHelp(UINT command, ULONG_PTR data);
    HWND MainHandle() const;

    char cmdLine[kCommandLineSize] = {};
    int32_t startHidden = 0;
    int32_t startShown = 0;
    BOOL helpOpened = FALSE;
    int32_t contextHelp = 0;
    HCURSOR helpCursor = nullptr;

    DECLARE_RESPONSE_TABLE(SNTPApp);
};
