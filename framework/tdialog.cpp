// TDialog: creation from templates, the dialog procedure that feeds the
// response tables, the transfer of the record and the ending of dialogs.
#include "framework/tdialog.h"

DEFINE_RESPONSE_TABLE(TDialog, TWindow)
    EV_COMMAND(IDOK, CmOk),
    EV_COMMAND(IDCANCEL, CmCancel),
    EV_MESSAGE(WM_CLOSE, EvClose),
END_RESPONSE_TABLE;

TDialog::TDialog(TWindow* parent, UINT resourceId, HINSTANCE module)
    : TWindow(parent, nullptr, module), resourceId_(resourceId)
{
}

TDialog::~TDialog()
{
    // Controls unlink and go in ~TWindow; a modal dialog is over by now.
    if (handle_ != nullptr && modal_)
        EndDialog(handle_, IDCANCEL);
}

bool TDialog::Create()
{
    if (handle_ != nullptr)
        return true;
    TWindow* parent = GetParentObject();
    HWND parentHandle = parent != nullptr ? parent->GetHandle() : nullptr;
    modal_ = false;
    HWND handle = CreateDialogParamA(GetModule(), MAKEINTRESOURCEA(resourceId_), parentHandle,
                                     DialogProc, reinterpret_cast<LPARAM>(this));
    return handle != nullptr;
}

int TDialog::Execute()
{
    TWindow* parent = GetParentObject();
    HWND parentHandle = parent != nullptr ? parent->GetHandle() : nullptr;
    modal_ = true;
    INT_PTR result = DialogBoxParamA(GetModule(), MAKEINTRESOURCEA(resourceId_), parentHandle,
                                     DialogProc, reinterpret_cast<LPARAM>(this));
    modal_ = false;
    return static_cast<int>(result);
}

void TDialog::SetupWindow()
{
    SetupDialog();
}

void TDialog::SetupDialog()
{
    TWindow::SetupWindow();
    TransferData(TTransferDirection::SetData);
}

void TDialog::Destroy()
{
    Destroy(IDCANCEL);
}

void TDialog::Destroy(int result)
{
    if (handle_ == nullptr)
        return;
    if (modal_)
        EndDialog(handle_, result);
    else
        DestroyWindow(handle_);
}

void TDialog::TransferData(TTransferDirection direction)
{
    if (transferBuffer_ == nullptr)
        return;
    auto* field = static_cast<char*>(transferBuffer_);
    for (TWindow* child : Children())
        field += child->Transfer(field, direction);
}

bool TDialog::PreProcessMsg(MSG& msg)
{
    return handle_ != nullptr && !modal_ && IsDialogMessageA(handle_, &msg);
}

void TDialog::CmOk()
{
    if (!CanClose())
        return;
    TransferData(TTransferDirection::GetData);
    Destroy(IDOK);
}

void TDialog::CmCancel()
{
    Destroy(IDCANCEL);
}

LRESULT TDialog::EvClose(WPARAM, LPARAM)
{
    CmCancel();
    return 0;
}

LRESULT TDialog::DefaultProcessing(UINT, WPARAM, LPARAM)
{
    defaultRequested_ = true;
    return 0;
}

INT_PTR CALLBACK TDialog::DialogProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* dialog = static_cast<TDialog*>(FromHandle(handle));
    if (dialog == nullptr) {
        if (message != WM_INITDIALOG || lParam == 0)
            return FALSE;
        dialog = reinterpret_cast<TDialog*>(lParam);
        dialog->Attach(handle);
        dialog->SetupWindow();
        return TRUE;  // the dialog manager focuses the first tab stop
    }

    if (message == WM_DESTROY)
        dialog->WindowDestroying();

    // Nested messages (a handler sending to its own dialog) keep their own
    // flag.
    bool outer = dialog->defaultRequested_;
    dialog->defaultRequested_ = false;
    LRESULT result = dialog->WindowProc(message, wParam, lParam);
    bool wantDefault = dialog->defaultRequested_;
    dialog->defaultRequested_ = outer;

    if (message == WM_NCDESTROY)
        dialog->WindowGone();
    if (wantDefault)
        return FALSE;

    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return static_cast<INT_PTR>(result);
    default:
        // The window may be gone already (a handler destroyed it); then
        // there is nowhere to put the result and nothing to do.
        if (IsWindow(handle))
            SetWindowLongPtrA(handle, DWLP_MSGRESULT, result);
        return TRUE;
    }
}
