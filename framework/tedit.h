// TEdit: an edit control with a fixed text length that takes part in its
// dialog's transfer, carries out the standard edit commands and may check
// its text with a lookup validator.
#pragma once

#include <memory>

#include "framework/editcmd.h"
#include "framework/tcontrol.h"

// Checks a complete text. Derived validators replace Lookup (the test) and
// Error (the report).
class TLookupValidator {
public:
    virtual ~TLookupValidator() = default;
    // True when text is acceptable. The base accepts everything.
    virtual bool Lookup(const char* text);
    // Tells the user that the text of owner was refused. The base says
    // nothing.
    virtual void Error(TWindow* owner);
};

class TEdit : public TControl {
public:
    // textLen: the field size in the transfer record, NUL included; the
    // control accepts textLen - 1 characters.
    TEdit(TWindow* parent, int id, UINT textLen);

    UINT GetTextLen() const { return textLen_; }

    // Takes ownership; null removes the validator.
    void SetValidator(TLookupValidator* validator) { validator_.reset(validator); }
    TLookupValidator* GetValidator() const { return validator_.get(); }

    // The validator's verdict on the current text; true without one. With
    // report, a refused text gets the focus back and the validator's
    // report.
    bool IsValid(bool report);

    // A dialog may close when the text passes.
    bool CanClose() override;

    // One field of textLen bytes.
    UINT Transfer(void* buffer, TTransferDirection direction) override;

    void SetupWindow() override;

protected:
    void CmEditUndo();
    void CmEditCopy();
    void CmEditPaste();
    void CmEditClear();
    // Leaving for another control of the dialog (not OK, not Cancel) checks
    // the text; the report comes once the focus change is over.
    LRESULT EvKillFocus(WPARAM, LPARAM);
    LRESULT EvRecheck(WPARAM, LPARAM);

private:
    UINT textLen_;
    std::unique_ptr<TLookupValidator> validator_;

    DECLARE_RESPONSE_TABLE(TEdit);
};
