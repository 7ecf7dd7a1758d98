// The statistics dialog: a snapshot of the time service's four message counts.
#pragma once

#include <cstdint>

#include "framework/tdialog.h"
#include "resources/resource.h"

class TStatic;

// The four count texts (decimal, the full count); the static controls take no part in the
// transfer, the set-up places the texts itself.
struct SNTPStatsDlgTransfer {
    char receivedText[255];
    char sentText[255];
    char rejectedText[255];
    char broadcastText[255];
};

// Reused by every opening of the dialog.
extern SNTPStatsDlgTransfer SNTPStatsDlgXfer;

class SNTPStatsDlg : public TDialog {
public:
    // The counts as they stand when the dialog is opened; it never reads
    // them again.
    SNTPStatsDlg(TWindow* parent, uint64_t sent, uint64_t received, uint64_t rejected,
                 uint64_t broadcast, UINT resourceId = IDD_STATS, HINSTANCE module = nullptr);
    ~SNTPStatsDlg() override;

    // Centred over the application's main window, then the four texts.
    void SetupWindow() override;

private:
    // Owned by the framework's child list.
    TStatic* receivedStatic;
    TStatic* sentStatic;
    TStatic* rejectedStatic;
    TStatic* broadcastStatic;
};
