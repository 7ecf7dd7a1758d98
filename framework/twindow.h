// TWindow: the base of every window object. Owns its HWND, dispatches
// messages through per-class response tables, and shows message boxes.
//
// Ownership and lifetime (the rules every window class here follows):
// - A window object and its window are separate. Destroy() and the
//   system's DestroyWindow end the window; the object lives on, with a null
//   handle, until its owner deletes it. The framework never deletes an
//   object in answer to a message, so a handler may destroy its own window,
//   its parent's or the whole frame and still return safely.
// - A child object (constructed with a parent) belongs to its parent; the
//   parent's destructor deletes the children that are still in its list.
//   Deleting a child earlier is allowed: it leaves its parent's list.
// - The application deletes its main window object after the message loop
//   has ended; modal dialogs live on their caller's stack.
// - Deleting an object whose window still exists first unlinks the window
//   (no more messages reach the object) and then destroys it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class TEventHandler;
class TWindow;

// A handler in a response table. Message handlers get the message's
// parameters and return its result; command handlers take nothing.
using TMessageHandler = LRESULT (TEventHandler::*)(WPARAM, LPARAM);
using TCommandHandler = void (TEventHandler::*)();

struct TResponseEntry {
    UINT message;     // WM_COMMAND for command entries
    UINT commandId;   // command entries only
    TMessageHandler onMessage;
    TCommandHandler onCommand;
};

// In the class body:     DECLARE_RESPONSE_TABLE(TimeService);
// In the .cpp file:      DEFINE_RESPONSE_TABLE(TimeService, TWindow)
//                            EV_MESSAGE(WM_TIMER, EvTimer),
//                            EV_COMMAND(102, CmSetTime),
//                        END_RESPONSE_TABLE;
// Handlers: LRESULT EvX(WPARAM, LPARAM) and void CmX(). Entries not found
// in a class's table are looked up in its base's table, then the message
// goes to the window's default processing. The macro leaves the class body
// in the private section.
#define DECLARE_RESPONSE_TABLE(cls)                                       \
  public:                                                                 \
    const TResponseEntry* FindResponse(UINT message, UINT commandId) const override; \
  private:                                                                \
    using ThisClass = cls;                                                \
    static const TResponseEntry responseTable_[]

#define DEFINE_RESPONSE_TABLE(cls, base)                                  \
    const TResponseEntry* cls::FindResponse(UINT message, UINT commandId) const \
    {                                                                     \
        if (const TResponseEntry* e = SearchResponseTable(responseTable_, message, commandId)) \
            return e;                                                     \
        return base::FindResponse(message, commandId);                    \
    }                                                                     \
    const TResponseEntry cls::responseTable_[] = {

#define EV_MESSAGE(msg, fn) \
    TResponseEntry{(msg), 0, static_cast<TMessageHandler>(&ThisClass::fn), nullptr}
#define EV_COMMAND(id, fn) \
    TResponseEntry{WM_COMMAND, (id), nullptr, static_cast<TCommandHandler>(&ThisClass::fn)}
#define END_RESPONSE_TABLE \
    TResponseEntry{0, 0, nullptr, nullptr}}

// Anything with a response table: windows and the application object.
class TEventHandler {
public:
    virtual ~TEventHandler() = default;

    // The entry for a message, or for WM_COMMAND with commandId; null when
    // neither this class nor a base handles it.
    virtual const TResponseEntry* FindResponse(UINT message, UINT commandId) const;

    // Runs the command entry for id if there is one; false when none.
    bool DispatchCommand(UINT commandId);

protected:
    static const TResponseEntry* SearchResponseTable(const TResponseEntry* table, UINT message,
                                                     UINT commandId);
};

// Creation attributes, read when the window is created.
struct TWindowAttr {
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT, w = CW_USEDEFAULT, h = CW_USEDEFAULT;
    int id = 0;          // child id
    HMENU menu = nullptr;
    HWND parentHandle = nullptr;  // without a parent object: HWND_MESSAGE makes a message-only window
};

// Direction of a dialog's data transfer.
enum class TTransferDirection { GetData, SetData };

class TWindow : public TEventHandler {
public:
    // parent may be null (a top-level window). A child registers itself in
    // its parent's child list; the parent creates the child's window when its
    // own window is set up, and owns the object from then on. module null
    // means the program's own module.
    TWindow(TWindow* parent, const char* title = nullptr, HINSTANCE module = nullptr);
    ~TWindow() override;

    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;

    // Creates the window from Attr (class registered by the framework), then
    // runs SetupWindow. Returns false when the window could not be created.
    virtual bool Create();

    // Runs once the handle exists. The default creates the windows of the
    // children (stopping at the first that fails). Overrides call the base
    // first.
    virtual void SetupWindow();

    // Runs just before the handle goes away (WM_DESTROY).
    virtual void CleanupWindow() {}

    // Destroys the window (not the object). Nothing happens without one.
    virtual void Destroy();

    // Whether the window may close now; the default asks every child.
    virtual bool CanClose();

    // Message box owned by this window: MessageBox, or BWCCMessageBox once
    // the application has switched BWCC on. A null caption means the
    // application's name. Returns the box's result, 0 when it failed.
    int MessageBox(const char* text, const char* caption, UINT type = MB_OK | MB_ICONEXCLAMATION);

    HWND GetHandle() const { return handle_; }
    TWindow* GetParentObject() const { return parent_; }
    // Moves the object into another parent's child list (null: none). Only
    // for objects whose window does not exist yet.
    void SetParentObject(TWindow* parent);
    HINSTANCE GetModule() const { return module_; }
    const char* GetTitle() const { return title_.c_str(); }

    TWindowAttr Attr;

    // Dispatch: response table, else DefaultProcessing. WM_COMMAND looks up
    // command entries by id for menus, accelerators and BN_CLICKED
    // (notification codes 0 and 1).
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Moves this window's part of a dialog's transfer record. Returns the
    // number of bytes it takes up in the record; 0 for windows that take no
    // part.
    virtual UINT Transfer(void* buffer, TTransferDirection direction);

    // Keyboard pre-translation for the message loop (dialog keys,
    // accelerators). Returns true when the message has been handled.
    virtual bool PreProcessMsg(MSG& msg);

    // The window object of a handle, or null.
    static TWindow* FromHandle(HWND handle);

    // Name of the window class the framework registers for its own windows.
    static const char* const ClassName;

protected:
    // What the window class does with a message nobody handles.
    virtual LRESULT DefaultProcessing(UINT message, WPARAM wParam, LPARAM lParam);

    // Told when the window of one of this window's children is destroyed.
    virtual void ChildDestroyed(TWindow* /*child*/) {}

    // Binds an existing handle to this object (dialogs, controls).
    void Attach(HWND handle);
    // Routes the window's messages through the framework (for windows of
    // other classes, such as controls); previousProc_ gets their own proc.
    void Subclass();
    void Detach();

    const std::vector<TWindow*>& Children() const { return children_; }

    HWND handle_ = nullptr;
    WNDPROC previousProc_ = nullptr;  // set when a foreign window was subclassed

    // The message hook: links the window on WM_NCCREATE, runs the window's
    // clean-up on WM_DESTROY and unlinks it after WM_NCDESTROY.
    static LRESULT CALLBACK StandardProc(HWND, UINT, WPARAM, LPARAM);

    // The WM_DESTROY / WM_NCDESTROY bookkeeping, shared with dialogs.
    void WindowDestroying();
    void WindowGone();

private:
    void AddChild(TWindow* child);
    void RemoveChild(TWindow* child);
    static bool RegisterFrameworkClass(HINSTANCE module);

    TWindow* parent_;
    HINSTANCE module_;
    std::string title_;
    std::vector<TWindow*> children_;
};
