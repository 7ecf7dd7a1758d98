// TApplication: the application object, its start-up sequence, the message
// loop with its per-message pre-filter, and the switch to the BWCC controls.
#pragma once

#include <windows.h>

#include <string>

#include "framework/twindow.h"

class TFrameWindow;

class TApplication : public TEventHandler {
public:
    // name: caption of the boxes the framework shows itself. cmdLine is
    // copied. There is one application object per process; it must outlive
    // every window object.
    TApplication(const char* name, HINSTANCE instance, HINSTANCE prevInstance,
                 const char* cmdLine, int showCommand);
    ~TApplication() override;

    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // Start-up, loop, termination. In this order: InitApplication (first
    // instance only), InitInstance (BuildMainWindow, create the main window,
    // show it with the show command), the message loop, TermInstance (which
    // deletes the main window object). Returns the WM_QUIT status, or -1
    // when start-up failed (the reason has been shown in a box).
    int Run();

    // The application's close query, asked when the main window is told to
    // close. The default asks the main window (and thereby its children).
    virtual bool QueryClose();

    // Every queued message comes here first. Returns true when the message
    // has been consumed; the base consumes nothing.
    virtual bool FilterAppMessage(MSG& msg);

    // Loads BWCC32.DLL (once), calls its BWCCIntlInit(language) and
    // BWCCRegister(instance) where exported, and from then on shows message
    // boxes through BWCCMessageBox. enable false switches the boxes back to
    // the system's. Returns false when the library cannot be loaded.
    bool EnableBWCC(bool enable = true, UINT language = 0);
    bool BWCCEnabled() const { return bwccMessageBox_ != nullptr; }
    // Class name for program dialogs whose template names none: "BorDlg"
    // with BWCC on, else null (the system's dialog class).
    const char* DialogClass() const { return BWCCEnabled() ? "BorDlg" : nullptr; }

    // A message box through BWCC when it is on, else the system's.
    int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type);

    const char* GetName() const { return name_.c_str(); }
    HINSTANCE GetInstance() const { return instance_; }
    HINSTANCE GetPrevInstance() const { return prevInstance_; }
    const char* GetCmdLine() const { return cmdLine_.c_str(); }
    int GetShowCommand() const { return showCommand_; }
    void SetShowCommand(int showCommand) { showCommand_ = showCommand; }

    // The main window; the application owns it from here on and deletes it
    // after the loop (or in its destructor when Run never ran).
    TFrameWindow* GetMainWindow() const { return mainWindow_; }
    void SetMainWindow(TFrameWindow* window) { mainWindow_ = window; }

    // The application object of this process, or null.
    static TApplication* Current() { return current_; }

protected:
    // Runs only when there is no previous instance. Default: nothing.
    virtual void InitApplication() {}
    // The main-window hook: construct the main window and SetMainWindow.
    virtual void BuildMainWindow() {}
    // Creates and shows the main window. Returns false on failure.
    virtual bool InitInstance();
    // Runs after the loop; returns the exit status.
    virtual int TermInstance(int status);

    // The loop: FilterAppMessage, the main window's accelerators, the
    // dialog keys of the window the message is for, translation, dispatch.
    virtual int MessageLoop();
    bool ProcessAppMessage(MSG& msg);

private:
    using MessageBoxFn = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);

    std::string name_;
    HINSTANCE instance_;
    HINSTANCE prevInstance_;
    std::string cmdLine_;
    int showCommand_;
    TFrameWindow* mainWindow_ = nullptr;
    HMODULE bwcc_ = nullptr;
    MessageBoxFn bwccMessageBox_ = nullptr;

    static TApplication* current_;
};
