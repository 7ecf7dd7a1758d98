// The time-zone dialog: zone names, offset and daylight-saving rule, with the validators of its typed fields.
#pragma once

#include "framework/tcombobox.h"
#include "framework/tdialog.h"
#include "framework/tedit.h"
#include "resources/resource.h"
#include "time/dstrule.h"
#include "ui/tzfields.h"

// The dialog's transfer record, in the order its controls are constructed.
struct SNTPDstRuleDlgTransfer {
    char dstName[kZoneNameFieldSize];  // 110
    TComboBoxData endWeekday;          // 106
    TComboBoxData endMonth;            // 107
    TComboBoxData endOrdinal;          // 105
    char endTime[kTimeFieldSize];      // 108
    TComboBoxData startWeekday;        // 102
    TComboBoxData startMonth;          // 103
    TComboBoxData startOrdinal;        // 101
    char startTime[kTimeFieldSize];    // 104
    char stdName[kZoneNameFieldSize];  // 109
    char utcOffset[kOffsetFieldSize];  // 111
};

// Reused by every opening of the dialog.
extern SNTPDstRuleDlgTransfer SNTPDstRuleDlgXfer;

// "hh:mm" from 00:00 to 23:59, or nothing.
class TimeValidator : public TLookupValidator {
public:
    bool Lookup(const char* text) override;
    void Error(TWindow* owner) override;
};

// [+|-]hh:mm from -14:00 to +12:00.
class OffsetValidator : public TLookupValidator {
public:
    bool Lookup(const char* text) override;
    void Error(TWindow* owner) override;
};

class SNTPDstRuleDlg : public TDialog {
public:
    // rule: the caller's working copy; the record is filled from it now and
    // written back into it when the dialog object goes, whatever ended the
    // dialog.
    SNTPDstRuleDlg(TWindow* parent, DstRuleRecord* rule, UINT resourceId = IDD_TIMEZONE,
                   HINSTANCE module = nullptr);
    ~SNTPDstRuleDlg() override;

    // The framework's set-up (the record into the controls), then centred
    // over the application's main window.
    void SetupWindow() override;

    // The edits' validators, then each end of the period (end first, the
    // record's order): an Ordinal without a Month is refused with a message
    // and the Month list gets the focus.
    bool CanClose() override;

private:
    DstRuleRecord* rule;

    // Owned by the framework's child list.
    TEdit* dstNameEdit;
    TComboBox* endWeekdayList;
    TComboBox* endMonthList;
    TComboBox* endOrdinalList;
    TEdit* endTimeEdit;
    TComboBox* startWeekdayList;
    TComboBox* startMonthList;
    TComboBox* startOrdinalList;
    TEdit* startTimeEdit;
    TEdit* stdNameEdit;
    TEdit* offsetEdit;
};
