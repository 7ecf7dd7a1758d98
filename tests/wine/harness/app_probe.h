// Drives a running kestrin.exe from another Wine process: start it, find its windows, read and press its controls.
#pragma once

#include <windows.h>

#include <string>

// Unix path (as CMake knows it) to the Wine path of the same file (drive Z:).
std::string WinPathOf(const std::string& unixPath);

struct AppRun {
    PROCESS_INFORMATION pi{};
    bool started = false;
};

// Starts exe with the given command-line tail. showCommand < 0: the start-up
// information supplies no show-window field.
bool LaunchApp(const std::string& exe, const std::string& args, AppRun* run, int showCommand = -1);

// Handles sent messages (the fake help window lives on this thread) for ms.
void Pump(DWORD ms);

// The top-level "Kestrin" frame of the process, visible or not; null when
// none appeared within timeoutMs.
HWND WaitFrame(const AppRun& run, DWORD timeoutMs);
// The frame of any running kestrin.exe; null after timeoutMs.
HWND FindAnyFrame(DWORD timeoutMs);
// The main dialog: the frame's child window holding control 109.
HWND DialogOf(HWND frame);
HWND Control(HWND frame, int id);

// Loads the hook DLL dll and sets its exported procedure procName as a hook
// of type kind (WH_...) on the thread of window. False when it cannot.
bool HookWindowThread(HWND window, int kind, const std::string& dll, const char* procName);

std::string TextOf(HWND window);
void SetTextOf(HWND window, const char* text);
// A click on a dialog button, as the button reports it.
void ClickButton(HWND frame, int id);
// A key as the program's message loop takes it from the queue (no change of
// the keyboard state).
void PostKey(HWND target, UINT virtualKey);
// Real keyboard input to the foreground window (updates the key state).
void SendKeys(const UINT* keys, int count, bool shift);

// Presses OK on one message box (a top-level dialog-class window) of the
// process, if there is one; its text into *text.
bool DismissBox(const AppRun& run, std::string* text);

// Waits for the process to end; its exit status, or -1 after timeoutMs (the
// process is then ended).
int WaitExit(AppRun* run, DWORD timeoutMs);

// Waits until the text of window satisfies pred (prefix match), up to ms.
bool WaitTextPrefix(HWND window, const char* prefix, DWORD timeoutMs);

// The help viewer (winhlp32): its main window, in another process than
// this one; null after timeoutMs.
HWND WaitHelpViewer(DWORD timeoutMs);
// The text of the topic the viewer shows (its rich-edit pane).
std::string HelpViewerText(HWND viewer);
// Waits until the viewer shows a topic whose text holds part; false after
// timeoutMs.
bool WaitHelpText(HWND viewer, const char* part, DWORD timeoutMs);
// A visible message box of the viewer's process, its text into *text.
bool HelpViewerBox(HWND viewer, std::string* text);
// Asks every viewer to close and waits until they have gone (ending one
// that does not within timeoutMs).
void CloseHelpViewers(DWORD timeoutMs);
// A top-level window of process pid with this caption, or null.
HWND FindCaption(DWORD pid, const char* caption);

// Shift+F1 in the frame, as the user types it: context-help mode. Returns
// when the program shows another cursor than its arrow, or false after
// timeoutMs.
bool EnterContextHelp(HWND frame, DWORD timeoutMs);

std::string IniPath();
bool ReadWholeFile(const std::string& path, std::string* bytes);
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// Posts a click on a main-dialog button: for buttons that open a modal
// dialog, which a sent click would wait for.
void PostClick(HWND frame, int id);
// A visible top-level window of process pid (0: any) with exactly this
// caption; null when none appeared within timeoutMs.
HWND WaitWindowTitled(DWORD pid, const char* caption, DWORD timeoutMs);
// Waits until window no longer exists; false after timeoutMs.
bool WaitGone(HWND window, DWORD timeoutMs);
// The window with the keyboard focus in the thread that owns window.
HWND FocusOf(HWND window);
