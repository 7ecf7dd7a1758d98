// The statistics dialog: a snapshot of the time service's four message counts.
#include "ui/sntpstt1.h"

#include "framework/tapplic.h"
#include "framework/tcontrol.h"
#include "framework/tframe.h"
#include "ui/cntr_wnd.h"
#include "settings/numtext.h"

SNTPStatsDlgTransfer SNTPStatsDlgXfer;

namespace {

constexpr UINT kTextLength = 255;

TFrameWindow* MainWindow()
{
    TApplication* app = TApplication::Current();
    return app != nullptr ? app->GetMainWindow() : nullptr;
}

}  // namespace

SNTPStatsDlg::SNTPStatsDlg(TWindow* parent, uint64_t sent, uint64_t received, uint64_t rejected,
                           uint64_t broadcast, UINT resourceId, HINSTANCE module)
    : TDialog(parent, resourceId, module)
{
    receivedStatic = new TStatic(this, IDC_RECEIVEDCOUNT, kTextLength);
    sentStatic = new TStatic(this, IDC_SENTCOUNT, kTextLength);
    rejectedStatic = new TStatic(this, IDC_REJECTEDCOUNT, kTextLength);
    broadcastStatic = new TStatic(this, IDC_BROADCASTCOUNT, kTextLength);
    SetTransferBuffer(&SNTPStatsDlgXfer);

    SNTPStatsDlgTransfer& x = SNTPStatsDlgXfer;
    FormatCountText(received, x.receivedText, sizeof x.receivedText);
    FormatCountText(sent, x.sentText, sizeof x.sentText);
    FormatCountText(rejected, x.rejectedText, sizeof x.rejectedText);
    FormatCountText(broadcast, x.broadcastText, sizeof x.broadcastText);
}

SNTPStatsDlg::~SNTPStatsDlg()
{
    if (GetHandle() != nullptr)
        Destroy(IDCANCEL);
}

void SNTPStatsDlg::SetupWindow()
{
    TDialog::SetupWindow();
    TFrameWindow* main = MainWindow();
    CentreWindow(main != nullptr ? main->GetHandle() : nullptr, GetHandle(), TRUE);
    receivedStatic->SetText(SNTPStatsDlgXfer.receivedText);
    sentStatic->SetText(SNTPStatsDlgXfer.sentText);
    rejectedStatic->SetText(SNTPStatsDlgXfer.rejectedText);
    broadcastStatic->SetText(SNTPStatsDlgXfer.broadcastText);
}
