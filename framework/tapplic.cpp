// TApplication: start-up sequence, message loop and the BWCC switch.
#include "framework/tapplic.h"

#include "framework/tframe.h"

TApplication* TApplication::current_ = nullptr;

TApplication::TApplication(const char* name, HINSTANCE instance, HINSTANCE prevInstance,
                           const char* cmdLine, int showCommand)
    : name_(name != nullptr ? name : ""),
      instance_(instance != nullptr ? instance : GetModuleHandleA(nullptr)),
      prevInstance_(prevInstance),
      cmdLine_(cmdLine != nullptr ? cmdLine : ""),
      showCommand_(showCommand)
{
    current_ = this;
}

TApplication::~TApplication()
{
    delete mainWindow_;
    mainWindow_ = nullptr;
    if (bwcc_ != nullptr)
        FreeLibrary(bwcc_);
    if (current_ == this)
        current_ = nullptr;
}

int TApplication::Run()
{
    if (prevInstance_ == nullptr)
        InitApplication();
    if (!InitInstance())
        return TermInstance(-1);
    return TermInstance(MessageLoop());
}

bool TApplication::InitInstance()
{
    BuildMainWindow();
    if (mainWindow_ == nullptr) {
        ShowMessageBox(nullptr, "Unable to create the main window.", GetName(),
                       MB_OK | MB_ICONHAND);
        return false;
    }
    // Created hidden, so it never shows unsized or off centre: its set-up
    // sizes and places it, then the show command shows it.
    const DWORD style = mainWindow_->Attr.style;
    mainWindow_->Attr.style &= ~static_cast<DWORD>(WS_VISIBLE);
    const bool created = mainWindow_->Create();
    mainWindow_->Attr.style = style;
    if (!created) {
        ShowMessageBox(nullptr, "Unable to create the main window.", GetName(),
                       MB_OK | MB_ICONHAND);
        return false;
    }
    ShowWindow(mainWindow_->GetHandle(), showCommand_);
    UpdateWindow(mainWindow_->GetHandle());
    return true;
}

int TApplication::TermInstance(int status)
{
    // The loop has ended, so no handler of any window is on the stack: the
    // objects can go now.
    delete mainWindow_;
    mainWindow_ = nullptr;
    return status;
}

bool TApplication::QueryClose()
{
    return mainWindow_ == nullptr || mainWindow_->CanClose();
}

bool TApplication::FilterAppMessage(MSG&)
{
    return false;
}

bool TApplication::ProcessAppMessage(MSG& msg)
{
    if (FilterAppMessage(msg))
        return true;

    HWND main = mainWindow_ != nullptr ? mainWindow_->GetHandle() : nullptr;
    if (main != nullptr && (msg.hwnd == main || IsChild(main, msg.hwnd))) {
        HACCEL accel = mainWindow_->GetAcceleratorTable();
        if (accel != nullptr && TranslateAcceleratorA(main, accel, &msg))
            return true;
    }
    // Innermost first: the dialog that holds the focused control gets its
    // dialog keys (Tab, Enter, Escape, mnemonics).
    for (HWND h = msg.hwnd; h != nullptr; h = GetParent(h)) {
        TWindow* window = TWindow::FromHandle(h);
        if (window != nullptr && window->PreProcessMsg(msg))
            return true;
        if ((GetWindowLongA(h, GWL_STYLE) & WS_CHILD) == 0)
            break;
    }
    return false;
}

int TApplication::MessageLoop()
{
    // Timer and paint messages come only when no posted message waits, so a
    // stream of posted ones (socket notifications in a flood) would starve
    // every timer and leave the windows unpainted. Every so often they are
    // asked for by name first.
    const DWORD fairnessPeriodMs = 100;
    DWORD fairnessMs = GetTickCount();
    MSG msg;
    for (;;) {
        BOOL got = FALSE;
        if (GetTickCount() - fairnessMs >= fairnessPeriodMs) {
            fairnessMs = GetTickCount();
            got = PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE) ||
                  PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE);
            if (got && msg.message == WM_QUIT)  // returned whatever the filter
                return static_cast<int>(msg.wParam);
        }
        if (!got) {
            got = GetMessageA(&msg, nullptr, 0, 0);
            if (got == 0)
                return static_cast<int>(msg.wParam);
            if (got == -1)
                return -1;
        }
        if (!ProcessAppMessage(msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

int TApplication::ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type)
{
    if (bwccMessageBox_ != nullptr)
        return bwccMessageBox_(owner, text, caption, type);
    return ::MessageBoxA(owner, text, caption, type);
}

bool TApplication::EnableBWCC(bool enable, UINT language)
{
    if (!enable) {
        bwccMessageBox_ = nullptr;
        return true;
    }
    if (bwcc_ == nullptr) {
        bwcc_ = LoadLibraryA("BWCC32.DLL");
        if (bwcc_ == nullptr)
            return false;
        using IntlInitFn = BOOL(WINAPI*)(UINT);
        using RegisterFn = BOOL(WINAPI*)(HINSTANCE);
        auto intlInit = reinterpret_cast<IntlInitFn>(
            reinterpret_cast<void*>(GetProcAddress(bwcc_, "BWCCIntlInit")));
        auto registerFn = reinterpret_cast<RegisterFn>(
            reinterpret_cast<void*>(GetProcAddress(bwcc_, "BWCCRegister")));
        if (intlInit != nullptr)
            intlInit(language);
        if (registerFn != nullptr)
            registerFn(instance_);
    }
    bwccMessageBox_ = reinterpret_cast<MessageBoxFn>(
        reinterpret_cast<void*>(GetProcAddress(bwcc_, "BWCCMessageBox")));
    return true;
}
