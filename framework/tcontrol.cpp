// TControl, TStatic, TButton: binding control objects to control windows.
#include "framework/tcontrol.h"

TControl::TControl(TWindow* parent, int id, const char* windowClass)
    : TWindow(parent), windowClass_(windowClass)
{
    Attr.id = id;
    Attr.style = WS_CHILD | WS_VISIBLE;
    Attr.x = Attr.y = Attr.w = Attr.h = 0;
}

bool TControl::Create()
{
    if (handle_ != nullptr)
        return true;
    TWindow* parent = GetParentObject();
    HWND parentHandle = parent != nullptr ? parent->GetHandle() : nullptr;
    if (parentHandle == nullptr)
        return false;

    HWND handle = GetDlgItem(parentHandle, Attr.id);
    if (handle == nullptr) {
        handle = CreateWindowExA(Attr.exStyle, windowClass_.c_str(), GetTitle(), Attr.style,
                                 Attr.x, Attr.y, Attr.w, Attr.h, parentHandle,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(Attr.id)),
                                 GetModule(), nullptr);
        if (handle == nullptr)
            return false;
    }
    Attach(handle);
    Subclass();
    SetupWindow();
    return true;
}

std::string TControl::GetText() const
{
    if (handle_ == nullptr)
        return std::string();
    int length = GetWindowTextLengthA(handle_);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int got = GetWindowTextA(handle_, &text[0], length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

void TControl::SetText(const char* text)
{
    if (handle_ != nullptr)
        SetWindowTextA(handle_, text != nullptr ? text : "");
}

TStatic::TStatic(TWindow* parent, int id, UINT textLen)
    : TControl(parent, id, "STATIC"), textLen_(textLen)
{
}

TButton::TButton(TWindow* parent, int id) : TControl(parent, id, "BUTTON")
{
    Attr.style |= BS_PUSHBUTTON | WS_TABSTOP;
}
