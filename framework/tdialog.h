// TDialog: a dialog from a template resource, modeless (as a frame's
// client) or modal, whose controls exchange text with a transfer record.
#pragma once

#include "framework/twindow.h"

class TDialog : public TWindow {
public:
    // resourceId: the dialog template in module (null: the program's own).
    TDialog(TWindow* parent, UINT resourceId, HINSTANCE module = nullptr);
    ~TDialog() override;

    // Modeless: creates the dialog window as a child of the parent's window
    // (or top-level without a parent). The set-up runs inside. Returns false
    // when the window could not be created (no template, unknown class).
    bool Create() override;

    // Modal: runs the dialog in the system's dialog loop and returns the
    // result it was ended with (IDOK, IDCANCEL, ...), or -1 when the window
    // could not be created.
    int Execute();
    bool IsModal() const { return modal_; }

    // The set-up step, run once the dialog window exists (on WM_INITDIALOG).
    // SetupWindow calls SetupDialog; the base SetupDialog creates or binds
    // the child windows and copies the transfer record into the controls.
    // Derived dialogs override either and call the base first.
    void SetupWindow() override;
    virtual void SetupDialog();

    // Ends the dialog: EndDialog(result) when modal, DestroyWindow when not.
    // The object stays. Destroy() uses IDCANCEL.
    void Destroy() override;
    void Destroy(int result);

    // The transfer record: one field per transfer-taking child, in the order
    // the children were constructed (see TWindow::Transfer). Not owned;
    // null switches the transfer off.
    void SetTransferBuffer(void* buffer) { transferBuffer_ = buffer; }
    void* GetTransferBuffer() const { return transferBuffer_; }
    // GetData: controls -> record; SetData: record -> controls.
    void TransferData(TTransferDirection direction);

    UINT GetResourceId() const { return resourceId_; }

    // Dialog keys for a modeless dialog (IsDialogMessage).
    bool PreProcessMsg(MSG& msg) override;

protected:
    // IDOK: asks every control (CanClose), copies the controls into the
    // record and ends with IDOK. IDCANCEL and WM_CLOSE end with IDCANCEL.
    void CmOk();
    void CmCancel();
    LRESULT EvClose(WPARAM, LPARAM);

    // Unhandled messages go back to the dialog manager (DefDlgProc).
    LRESULT DefaultProcessing(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);

    UINT resourceId_;
    void* transferBuffer_ = nullptr;
    bool modal_ = false;
    bool defaultRequested_ = false;

    DECLARE_RESPONSE_TABLE(TDialog);
};
