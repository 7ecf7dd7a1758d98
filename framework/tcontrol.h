// TControl and the simple controls TStatic and TButton: objects bound to a
// dialog's controls by id, or controls created on a plain parent window.
#pragma once

#include "framework/twindow.h"

class TControl : public TWindow {
public:
    // windowClass: the class used when the parent has no control with this
    // id and one must be created from Attr (position 0,0, size 0,0 unless
    // set).
    TControl(TWindow* parent, int id, const char* windowClass);

    // Binds to the parent's control with the id, else creates one; routes
    // its messages through this object. Returns false when the parent has no
    // window or the control cannot be created.
    bool Create() override;

    int GetId() const { return Attr.id; }

    // The control's text; empty when it has no window.
    std::string GetText() const;
    void SetText(const char* text);

private:
    std::string windowClass_;
};

// Static text. Takes no part in the transfer.
class TStatic : public TControl {
public:
    // textLen: buffer size for the text, NUL included.
    TStatic(TWindow* parent, int id, UINT textLen);
    UINT GetTextLen() const { return textLen_; }

private:
    UINT textLen_;
};

// Push button. Its clicks reach the parent as commands of its id.
class TButton : public TControl {
public:
    TButton(TWindow* parent, int id);
};
