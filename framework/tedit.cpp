// TEdit and TLookupValidator: edit transfer, edit commands and validation.
#include "framework/tedit.h"

#include <cstring>

namespace {

// Posted to an edit whose text was refused when the focus left it.
const UINT kRecheckMessage = WM_APP + 0x3A1;

}  // namespace

bool TLookupValidator::Lookup(const char*)
{
    return true;
}

void TLookupValidator::Error(TWindow*)
{
}

DEFINE_RESPONSE_TABLE(TEdit, TControl)
    EV_COMMAND(CM_EDITUNDO, CmEditUndo),
    EV_COMMAND(CM_EDITCOPY, CmEditCopy),
    EV_COMMAND(CM_EDITPASTE, CmEditPaste),
    EV_COMMAND(CM_EDITCLEAR, CmEditClear),
    EV_MESSAGE(WM_KILLFOCUS, EvKillFocus),
    EV_MESSAGE(kRecheckMessage, EvRecheck),
END_RESPONSE_TABLE;

TEdit::TEdit(TWindow* parent, int id, UINT textLen)
    : TControl(parent, id, "EDIT"), textLen_(textLen)
{
    Attr.style |= WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
}

void TEdit::SetupWindow()
{
    TControl::SetupWindow();
    if (textLen_ > 0)
        SendMessageA(handle_, EM_LIMITTEXT, textLen_ - 1, 0);
}

UINT TEdit::Transfer(void* buffer, TTransferDirection direction)
{
    if (textLen_ == 0)
        return 0;
    auto* text = static_cast<char*>(buffer);
    if (handle_ != nullptr) {
        if (direction == TTransferDirection::GetData) {
            if (GetWindowTextA(handle_, text, static_cast<int>(textLen_)) <= 0)
                text[0] = '\0';
        } else {
            // The field need not hold a NUL; never read past it.
            std::string value(text, strnlen(text, textLen_ - 1));
            SetWindowTextA(handle_, value.c_str());
        }
    }
    return textLen_;
}

bool TEdit::IsValid(bool report)
{
    if (validator_ == nullptr)
        return true;
    std::string text = GetText();
    if (validator_->Lookup(text.c_str()))
        return true;
    if (report && handle_ != nullptr) {
        SetFocus(handle_);
        validator_->Error(this);
    }
    return false;
}

bool TEdit::CanClose()
{
    return IsValid(true);
}

LRESULT TEdit::EvKillFocus(WPARAM wParam, LPARAM lParam)
{
    LRESULT result = DefaultProcessing(WM_KILLFOCUS, wParam, lParam);
    auto next = reinterpret_cast<HWND>(wParam);
    if (validator_ != nullptr && next != nullptr && GetParent(next) == GetParent(handle_)) {
        int nextId = GetDlgCtrlID(next);
        if (nextId != IDOK && nextId != IDCANCEL && !IsValid(false))
            PostMessageA(handle_, kRecheckMessage, 0, 0);
    }
    return result;
}

LRESULT TEdit::EvRecheck(WPARAM, LPARAM)
{
    IsValid(true);
    return 0;
}

void TEdit::CmEditUndo()
{
    SendMessageA(handle_, EM_UNDO, 0, 0);
}

void TEdit::CmEditCopy()
{
    SendMessageA(handle_, WM_COPY, 0, 0);
}

void TEdit::CmEditPaste()
{
    SendMessageA(handle_, WM_PASTE, 0, 0);
}

void TEdit::CmEditClear()
{
    SendMessageA(handle_, WM_CLEAR, 0, 0);
}
