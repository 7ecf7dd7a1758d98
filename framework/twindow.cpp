// TWindow: window creation, the link between handle and object, and
// dispatch through the response tables.
#include "framework/twindow.h"

#include <algorithm>

#include "framework/tapplic.h"

namespace {

// The window property that links a handle to its object. A property rather
// than GWLP_USERDATA, so that controls and dialogs of other classes keep
// their own user data.
const char kObjectProperty[] = "KestrinWindowObject";

}  // namespace

const char* const TWindow::ClassName = "KestrinWindow";

// --- TEventHandler ---------------------------------------------------------

const TResponseEntry* TEventHandler::FindResponse(UINT, UINT) const
{
    return nullptr;
}

const TResponseEntry* TEventHandler::SearchResponseTable(const TResponseEntry* table,
                                                         UINT message, UINT commandId)
{
    for (const TResponseEntry* e = table; e->message != 0; ++e) {
        if (e->message != message)
            continue;
        if (e->onCommand == nullptr || e->commandId == commandId)
            return e;
    }
    return nullptr;
}

bool TEventHandler::DispatchCommand(UINT commandId)
{
    const TResponseEntry* e = FindResponse(WM_COMMAND, commandId);
    if (e == nullptr || e->onCommand == nullptr)
        return false;
    (this->*(e->onCommand))();
    return true;
}

// --- TWindow: construction and ownership -----------------------------------

TWindow::TWindow(TWindow* parent, const char* title, HINSTANCE module)
    : parent_(parent),
      module_(module != nullptr ? module : GetModuleHandleA(nullptr)),
      title_(title != nullptr ? title : "")
{
    if (parent_ == nullptr)
        Attr.style = WS_OVERLAPPEDWINDOW;
    else
        parent_->AddChild(this);
}

TWindow::~TWindow()
{
    // Children first, while this window (their parent) still exists. Each
    // child leaves the list in its own destructor.
    while (!children_.empty())
        delete children_.back();

    if (handle_ != nullptr) {
        HWND handle = handle_;
        Detach();
        DestroyWindow(handle);
    }
    if (parent_ != nullptr)
        parent_->RemoveChild(this);
}

void TWindow::SetParentObject(TWindow* parent)
{
    if (parent_ != nullptr)
        parent_->RemoveChild(this);
    parent_ = parent;
    if (parent_ != nullptr)
        parent_->AddChild(this);
}

void TWindow::AddChild(TWindow* child)
{
    children_.push_back(child);
}

void TWindow::RemoveChild(TWindow* child)
{
    children_.erase(std::remove(children_.begin(), children_.end(), child), children_.end());
}

// --- TWindow: creation ----------------------------------------------------

bool TWindow::RegisterFrameworkClass(HINSTANCE module)
{
    WNDCLASSA existing;
    if (GetClassInfoA(module, ClassName, &existing))
        return true;
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = StandardProc;
    wc.hInstance = module;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = ClassName;
    return RegisterClassA(&wc) != 0;
}

bool TWindow::Create()
{
    if (handle_ != nullptr)
        return true;
    if (!RegisterFrameworkClass(module_))
        return false;

    HWND parentHandle = parent_ != nullptr ? parent_->GetHandle() : Attr.parentHandle;
    if (parent_ != nullptr && parentHandle == nullptr)
        return false;
    HMENU menuOrId = Attr.menu;
    if (Attr.style & WS_CHILD)
        menuOrId = reinterpret_cast<HMENU>(static_cast<INT_PTR>(Attr.id));

    // StandardProc links the handle on WM_NCCREATE from the create parameter.
    HWND handle = CreateWindowExA(Attr.exStyle, ClassName, title_.c_str(), Attr.style, Attr.x,
                                  Attr.y, Attr.w, Attr.h, parentHandle, menuOrId, module_, this);
    if (handle == nullptr)
        return false;
    SetupWindow();
    return true;
}

void TWindow::SetupWindow()
{
    // Copy: a child's set-up may construct further children of this window.
    std::vector<TWindow*> children = children_;
    for (TWindow* child : children) {
        if (child->GetHandle() == nullptr && !child->Create())
            return;
    }
}

void TWindow::Destroy()
{
    if (handle_ != nullptr)
        DestroyWindow(handle_);
}

bool TWindow::CanClose()
{
    for (TWindow* child : children_) {
        if (child->GetHandle() != nullptr && !child->CanClose())
            return false;
    }
    return true;
}

UINT TWindow::Transfer(void*, TTransferDirection)
{
    return 0;
}

bool TWindow::PreProcessMsg(MSG&)
{
    return false;
}

int TWindow::MessageBox(const char* text, const char* caption, UINT type)
{
    TApplication* app = TApplication::Current();
    if (caption == nullptr)
        caption = app != nullptr ? app->GetName() : "";
    if (app != nullptr)
        return app->ShowMessageBox(handle_, text, caption, type);
    return ::MessageBoxA(handle_, text, caption, type);
}

// --- TWindow: the handle <-> object link ----------------------------------

TWindow* TWindow::FromHandle(HWND handle)
{
    if (handle == nullptr)
        return nullptr;
    return static_cast<TWindow*>(GetPropA(handle, kObjectProperty));
}

void TWindow::Attach(HWND handle)
{
    handle_ = handle;
    SetPropA(handle, kObjectProperty, this);
}

void TWindow::Subclass()
{
    if (handle_ == nullptr || previousProc_ != nullptr)
        return;
    previousProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StandardProc)));
}

void TWindow::Detach()
{
    if (handle_ == nullptr)
        return;
    if (previousProc_ != nullptr) {
        auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(handle_, GWLP_WNDPROC));
        if (current == StandardProc)
            SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc_));
        // Someone subclassed on top of us: keep forwarding through
        // StandardProc, which finds no object and calls the class's proc.
        previousProc_ = nullptr;
    }
    RemovePropA(handle_, kObjectProperty);
    handle_ = nullptr;
}

void TWindow::WindowDestroying()
{
    CleanupWindow();
    if (parent_ != nullptr)
        parent_->ChildDestroyed(this);
}

void TWindow::WindowGone()
{
    Detach();
}

LRESULT CALLBACK TWindow::StandardProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    TWindow* window = FromHandle(handle);
    if (window == nullptr && message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        window = static_cast<TWindow*>(cs->lpCreateParams);
        if (window != nullptr)
            window->Attach(handle);
    }
    if (window == nullptr) {
        // A subclassed window whose object has gone: hand the message to the
        // class's own procedure.
        WNDCLASSA wc;
        char className[64];
        if (GetClassNameA(handle, className, sizeof className) > 0 &&
            GetClassInfoA(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(handle, GWLP_HINSTANCE)),
                          className, &wc) &&
            wc.lpfnWndProc != StandardProc)
            return CallWindowProcA(wc.lpfnWndProc, handle, message, wParam, lParam);
        return DefWindowProcA(handle, message, wParam, lParam);
    }

    if (message == WM_DESTROY)
        window->WindowDestroying();
    LRESULT result = window->WindowProc(message, wParam, lParam);
    if (message == WM_NCDESTROY)
        window->WindowGone();
    return result;
}

// --- TWindow: dispatch ----------------------------------------------------

LRESULT TWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND) {
        if (HIWORD(wParam) <= 1) {
            const TResponseEntry* e = FindResponse(WM_COMMAND, LOWORD(wParam));
            if (e != nullptr && e->onCommand != nullptr) {
                (this->*(e->onCommand))();
                return 0;
            }
            if (e != nullptr && e->onMessage != nullptr)
                return (this->*(e->onMessage))(wParam, lParam);
        }
        return DefaultProcessing(message, wParam, lParam);
    }
    const TResponseEntry* e = FindResponse(message, 0);
    if (e != nullptr && e->onMessage != nullptr)
        return (this->*(e->onMessage))(wParam, lParam);
    return DefaultProcessing(message, wParam, lParam);
}

LRESULT TWindow::DefaultProcessing(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (previousProc_ != nullptr)
        return CallWindowProcA(previousProc_, handle_, message, wParam, lParam);
    return DefWindowProcA(handle_, message, wParam, lParam);
}
