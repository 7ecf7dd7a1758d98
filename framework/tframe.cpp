// TFrameWindow: client adoption, shrink-to-client, command routing and the
// close sequence of the main window.
#include "framework/tframe.h"

#include "framework/tapplic.h"

DEFINE_RESPONSE_TABLE(TFrameWindow, TWindow)
    EV_MESSAGE(WM_CLOSE, EvClose),
    EV_MESSAGE(WM_DESTROY, EvDestroy),
    EV_MESSAGE(WM_SETFOCUS, EvSetFocus),
    EV_MESSAGE(WM_ENDSESSION, EvEndSession),
    EV_MESSAGE(WM_POWERBROADCAST, EvPowerBroadcast),
    EV_MESSAGE(WM_TIMECHANGE, EvTimeChange),
    EV_MESSAGE(WM_ENABLE, EvEnable),
END_RESPONSE_TABLE;

TFrameWindow::TFrameWindow(TWindow* parent, const char* title, TWindow* client,
                           bool shrinkToClient, HINSTANCE module)
    : TWindow(parent, title, module), client_(client), shrinkToClient_(shrinkToClient)
{
    Attr.style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    if (parent != nullptr)
        Attr.style |= WS_CHILD;
    if (client_ != nullptr) {
        client_->SetParentObject(this);
        client_->Attr.style = (client_->Attr.style & ~static_cast<DWORD>(WS_POPUP)) | WS_CHILD;
    }
}

TFrameWindow::~TFrameWindow()
{
    // The client object goes with the other children in ~TWindow. A menu
    // still in Attr never reached a window.
    if (Attr.menu != nullptr)
        DestroyMenu(Attr.menu);
}

bool TFrameWindow::SetIcon(HINSTANCE module, UINT iconId)
{
    HICON icon = LoadIconA(module, MAKEINTRESOURCEA(iconId));
    if (icon == nullptr)
        return false;
    icon_ = icon;
    if (handle_ != nullptr) {
        SendMessageA(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
        SendMessageA(handle_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    }
    return true;
}

bool TFrameWindow::AssignMenu(UINT menuId)
{
    HMENU menu = LoadMenuA(GetModule(), MAKEINTRESOURCEA(menuId));
    if (menu == nullptr)
        return false;
    if (handle_ != nullptr) {
        HMENU old = GetMenu(handle_);
        SetMenu(handle_, menu);
        if (old != nullptr)
            DestroyMenu(old);
        return true;
    }
    if (Attr.menu != nullptr)
        DestroyMenu(Attr.menu);
    Attr.menu = menu;
    return true;
}

bool TFrameWindow::SetAcceleratorTable(UINT acceleratorId)
{
    // Loaded accelerator tables are freed by the system with the module.
    HACCEL accel = LoadAcceleratorsA(GetModule(), MAKEINTRESOURCEA(acceleratorId));
    if (accel == nullptr)
        return false;
    accelerators_ = accel;
    return true;
}

void TFrameWindow::SetupWindow()
{
    Attr.menu = nullptr;  // the window owns its menu now
    if (icon_ != nullptr) {
        SendMessageA(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
        SendMessageA(handle_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    }
    TWindow::SetupWindow();
    if (client_ != nullptr && client_->GetHandle() != nullptr)
        AdoptClient();
}

void TFrameWindow::AdoptClient()
{
    HWND client = client_->GetHandle();
    RECT inner;
    GetClientRect(client, &inner);

    // Caption and dialog frame give way to a thin border; the client area
    // keeps its size.
    auto style = static_cast<DWORD>(GetWindowLongA(client, GWL_STYLE));
    style &= ~static_cast<DWORD>(WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_POPUP |
                                 WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    style |= WS_CHILD | WS_BORDER;
    auto exStyle = static_cast<DWORD>(GetWindowLongA(client, GWL_EXSTYLE));
    exStyle &= ~static_cast<DWORD>(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE);
    SetWindowLongA(client, GWL_STYLE, static_cast<LONG>(style));
    SetWindowLongA(client, GWL_EXSTYLE, static_cast<LONG>(exStyle));

    RECT outer = inner;
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    int width = outer.right - outer.left;
    int height = outer.bottom - outer.top;
    if (GetParent(client) != handle_)
        SetParent(client, handle_);
    SetWindowPos(client, nullptr, 0, 0, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED | SWP_SHOWWINDOW);

    if (shrinkToClient_) {
        RECT frame = {0, 0, width, height};
        auto frameStyle = static_cast<DWORD>(GetWindowLongA(handle_, GWL_STYLE));
        auto frameExStyle = static_cast<DWORD>(GetWindowLongA(handle_, GWL_EXSTYLE));
        AdjustWindowRectEx(&frame, frameStyle, GetMenu(handle_) != nullptr, frameExStyle);
        SetWindowPos(handle_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        // A menu bar that wraps to two lines eats client height: grow by
        // whatever is still missing.
        RECT got;
        GetClientRect(handle_, &got);
        int missing = height - (got.bottom - got.top);
        if (missing > 0)
            SetWindowPos(handle_, nullptr, 0, 0, frame.right - frame.left,
                         frame.bottom - frame.top + missing,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void TFrameWindow::ChildDestroyed(TWindow* child)
{
    if (child == client_ && handle_ != nullptr)
        PostMessageA(handle_, WM_CLOSE, 0, 0);
}

LRESULT TFrameWindow::EvClose(WPARAM, LPARAM)
{
    TApplication* app = TApplication::Current();
    bool mayClose = (app != nullptr && app->GetMainWindow() == this) ? app->QueryClose()
                                                                      : CanClose();
    if (mayClose)
        Destroy();
    return 0;
}

LRESULT TFrameWindow::EvDestroy(WPARAM wParam, LPARAM lParam)
{
    TApplication* app = TApplication::Current();
    if (app != nullptr && app->GetMainWindow() == this)
        PostQuitMessage(0);
    return DefaultProcessing(WM_DESTROY, wParam, lParam);
}

LRESULT TFrameWindow::EvSetFocus(WPARAM wParam, LPARAM lParam)
{
    if (client_ != nullptr && client_->GetHandle() != nullptr &&
        IsWindowVisible(client_->GetHandle())) {
        SetFocus(client_->GetHandle());
        return 0;
    }
    return DefaultProcessing(WM_SETFOCUS, wParam, lParam);
}

void TFrameWindow::PassToClient(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (client_ != nullptr && client_->GetHandle() != nullptr)
        SendMessageA(client_->GetHandle(), message, wParam, lParam);
}

LRESULT TFrameWindow::EvEndSession(WPARAM wParam, LPARAM lParam)
{
    // Only top-level windows hear that the session ends, and the process may
    // be ended as soon as they return: the client gets its say first.
    PassToClient(WM_ENDSESSION, wParam, lParam);
    return DefaultProcessing(WM_ENDSESSION, wParam, lParam);
}

LRESULT TFrameWindow::EvPowerBroadcast(WPARAM wParam, LPARAM lParam)
{
    PassToClient(WM_POWERBROADCAST, wParam, lParam);
    return DefaultProcessing(WM_POWERBROADCAST, wParam, lParam);
}

LRESULT TFrameWindow::EvTimeChange(WPARAM wParam, LPARAM lParam)
{
    PassToClient(WM_TIMECHANGE, wParam, lParam);
    return DefaultProcessing(WM_TIMECHANGE, wParam, lParam);
}

LRESULT TFrameWindow::EvEnable(WPARAM wParam, LPARAM lParam)
{
    PassToClient(WM_ENABLE, wParam, lParam);
    return DefaultProcessing(WM_ENABLE, wParam, lParam);
}

bool TFrameWindow::RouteCommand(UINT commandId)
{
    // The focused window and its parents up to the frame.
    for (HWND h = GetFocus(); h != nullptr && h != handle_; h = GetParent(h)) {
        if (!IsChild(handle_, h))
            break;
        TWindow* window = TWindow::FromHandle(h);
        if (window != nullptr && window->DispatchCommand(commandId))
            return true;
    }
    if (DispatchCommand(commandId))
        return true;
    TApplication* app = TApplication::Current();
    return app != nullptr && app->DispatchCommand(commandId);
}

LRESULT TFrameWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Menus (code 0) and accelerators (code 1) carry no control handle.
    if (message == WM_COMMAND && lParam == 0 && HIWORD(wParam) <= 1) {
        if (RouteCommand(LOWORD(wParam)))
            return 0;
        return DefaultProcessing(message, wParam, lParam);
    }
    return TWindow::WindowProc(message, wParam, lParam);
}
