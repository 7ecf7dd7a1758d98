// TFrameWindow: a top-level window around one client window, with icon,
// menu and accelerators; the application's main window.
#pragma once

#include "framework/twindow.h"

class TFrameWindow : public TWindow {
public:
    // client (may be null) becomes a child of the frame: the frame creates
    // its window at set-up and deletes the object with itself. With
    // shrinkToClient the frame sizes itself at set-up to wrap the client's
    // window exactly. A dialog client loses its caption and dialog frame for
    // a thin border.
    TFrameWindow(TWindow* parent, const char* title, TWindow* client, bool shrinkToClient = false,
                 HINSTANCE module = nullptr);
    ~TFrameWindow() override;

    // Icon resource of module for the frame's caption; takes effect at once
    // when the window exists. Returns false when the icon cannot be loaded.
    bool SetIcon(HINSTANCE module, UINT iconId);
    // Menu resource of the frame's module. Returns false when it cannot be
    // loaded.
    bool AssignMenu(UINT menuId);
    // Accelerator table resource of the frame's module, translated by the
    // application's loop. Returns false when it cannot be loaded.
    bool SetAcceleratorTable(UINT acceleratorId);
    HACCEL GetAcceleratorTable() const { return accelerators_; }

    TWindow* GetClientWindow() const { return client_; }

    // Creates the client's window, adopts it and shrinks to it.
    void SetupWindow() override;

    // Commands from the menu and accelerators go to the focused window and
    // its parents, then to the frame, then to the application.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    // The client's window went away: close the frame (posted, so that the
    // code that destroyed the client returns first).
    void ChildDestroyed(TWindow* child) override;

    LRESULT EvClose(WPARAM, LPARAM);
    LRESULT EvDestroy(WPARAM, LPARAM);
    LRESULT EvSetFocus(WPARAM, LPARAM);
    // Passed on to the client, which may have state to keep.
    LRESULT EvEndSession(WPARAM, LPARAM);
    // Broadcasts that only top-level windows get, passed on to the client.
    LRESULT EvPowerBroadcast(WPARAM, LPARAM);
    LRESULT EvTimeChange(WPARAM, LPARAM);
    // A modal dialog or box over the frame disables it while it runs; the
    // client learns when the frame is enabled again.
    LRESULT EvEnable(WPARAM, LPARAM);

private:
    bool RouteCommand(UINT commandId);
    void PassToClient(UINT message, WPARAM wParam, LPARAM lParam);
    void AdoptClient();

    TWindow* client_;
    bool shrinkToClient_;
    HICON icon_ = nullptr;
    HACCEL accelerators_ = nullptr;

    DECLARE_RESPONSE_TABLE(TFrameWindow);
};
