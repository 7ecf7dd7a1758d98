// The main frame window: wraps the main dialog, fixed size, centred on the screen.
#include "ui/ctfrmwnd.h"

#include "ui/cntr_wnd.h"

CTFrameWindow::CTFrameWindow(TWindow* parent, const char* title, TWindow* client,
                             bool shrinkToClient, HINSTANCE module)
    : TFrameWindow(parent, title, client, shrinkToClient, module)
{
}

void CTFrameWindow::SetupWindow()
{
    TFrameWindow::SetupWindow();
    CentreWindow(nullptr, GetHandle(), TRUE);
}
