// The time-zone dialog: zone names, offset and daylight-saving rule, with the validators of its typed fields.
#include "ui/sntpdsrd.h"

#include <cstring>
#include <initializer_list>
#include <utility>

#include "framework/tapplic.h"
#include "framework/tframe.h"
#include "ui/cntr_wnd.h"

SNTPDstRuleDlgTransfer SNTPDstRuleDlgXfer;

namespace {

constexpr UINT kListTextLength = 10;  // "Wednesday", "September" and a NUL

HWND MainWindowHandle()
{
    TApplication* app = TApplication::Current();
    TFrameWindow* frame = app != nullptr ? app->GetMainWindow() : nullptr;
    return frame != nullptr ? frame->GetHandle() : nullptr;
}

// The validators' boxes belong to whatever the user last worked in above the
// main window: the dialog itself while it runs.
void ReportFormatError(const char* text, const char* caption)
{
    HWND main = MainWindowHandle();
    HWND owner = main != nullptr ? GetLastActivePopup(main) : nullptr;
    const UINT type = MB_OK | MB_ICONEXCLAMATION;
    if (TApplication* app = TApplication::Current())
        app->ShowMessageBox(owner, text, caption, type);
    else
        MessageBoxA(owner, text, caption, type);
}

void FillList(TComboBoxData* list, const char* const* entries, int count, int32_t selected)
{
    for (int i = 0; i < count; ++i)
        list->AddString(entries[i]);
    list->Select(selected);
}

// The list's selection as it stands, -1 for none.
int32_t SelectedIndex(const TComboBox& list)
{
    if (list.GetHandle() == nullptr)
        return -1;
    return static_cast<int32_t>(SendMessageA(list.GetHandle(), CB_GETCURSEL, 0, 0));
}

// Copies a text field of the record, which the controls filled, with its NUL
// kept inside the destination.
template <size_t N, size_t M>
void CopyField(char (&to)[N], const char (&from)[M])
{
    static_assert(N >= M, "the destination holds the whole field");
    const size_t length = strnlen(from, M - 1);
    std::memcpy(to, from, length);
    to[length] = '\0';
}

}  // namespace

bool TimeValidator::Lookup(const char* text)
{
    return IsValidTimeText(text);
}

void TimeValidator::Error(TWindow*)
{
    ReportFormatError("Input must be a valid time in format hh:mm", "Time format error");
}

bool OffsetValidator::Lookup(const char* text)
{
    return IsValidOffsetText(text);
}

void OffsetValidator::Error(TWindow*)
{
    ReportFormatError("Offset must be between -14:00 and +12:00 hours eg: +08:00",
                      "Offset format error");
}

SNTPDstRuleDlg::SNTPDstRuleDlg(TWindow* parent, DstRuleRecord* rule_, UINT resourceId,
                               HINSTANCE module)
    : TDialog(parent, resourceId, module), rule(rule_)
{
    // The construction order is the order of the transfer record.
    dstNameEdit = new TEdit(this, IDC_DSTNAME, kZoneNameFieldSize);
    endWeekdayList = new TComboBox(this, IDC_ENDWEEKDAY, kListTextLength);
    endMonthList = new TComboBox(this, IDC_ENDMONTH, kListTextLength);
    endOrdinalList = new TComboBox(this, IDC_ENDORDINAL, kListTextLength);
    endTimeEdit = new TEdit(this, IDC_ENDTIME, kTimeFieldSize);
    startWeekdayList = new TComboBox(this, IDC_STARTWEEKDAY, kListTextLength);
    startMonthList = new TComboBox(this, IDC_STARTMONTH, kListTextLength);
    startOrdinalList = new TComboBox(this, IDC_STARTORDINAL, kListTextLength);
    startTimeEdit = new TEdit(this, IDC_STARTTIME, kTimeFieldSize);
    stdNameEdit = new TEdit(this, IDC_STDNAME, kZoneNameFieldSize);
    offsetEdit = new TEdit(this, IDC_UTCOFFSET, kOffsetFieldSize);
    endTimeEdit->SetValidator(new TimeValidator);
    startTimeEdit->SetValidator(new TimeValidator);
    offsetEdit->SetValidator(new OffsetValidator);
    SetTransferBuffer(&SNTPDstRuleDlgXfer);

    SNTPDstRuleDlgTransfer& x = SNTPDstRuleDlgXfer;
    const TzFields shown = FieldsFromRule(*rule);
    for (TComboBoxData* list : {&x.endWeekday, &x.endMonth, &x.endOrdinal, &x.startWeekday,
                                &x.startMonth, &x.startOrdinal})
        list->Clear();
    FillList(&x.startOrdinal, kOrdinalEntries, kOrdinalEntryCount, shown.start.ordinalIndex);
    FillList(&x.endOrdinal, kOrdinalEntries, kOrdinalEntryCount, shown.end.ordinalIndex);
    FillList(&x.startWeekday, kWeekdayEntries, kWeekdayEntryCount, shown.start.weekdayIndex);
    FillList(&x.endWeekday, kWeekdayEntries, kWeekdayEntryCount, shown.end.weekdayIndex);
    FillList(&x.startMonth, kMonthEntries, kMonthEntryCount, shown.start.monthIndex);
    FillList(&x.endMonth, kMonthEntries, kMonthEntryCount, shown.end.monthIndex);
    CopyField(x.startTime, shown.start.timeText);
    CopyField(x.endTime, shown.end.timeText);
    CopyField(x.dstName, shown.dstName);
    CopyField(x.stdName, shown.stdName);
    CopyField(x.utcOffset, shown.offsetText);
}

SNTPDstRuleDlg::~SNTPDstRuleDlg()
{
    if (GetHandle() != nullptr)
        Destroy(IDCANCEL);

    // The controls wrote at most each field's size; the copies keep every
    // text terminated within its own field whatever the record holds.
    const SNTPDstRuleDlgTransfer& x = SNTPDstRuleDlgXfer;
    TzFields taken{};
    CopyField(taken.dstName, x.dstName);
    CopyField(taken.stdName, x.stdName);
    CopyField(taken.offsetText, x.utcOffset);
    CopyField(taken.start.timeText, x.startTime);
    CopyField(taken.end.timeText, x.endTime);
    taken.start.ordinalIndex = x.startOrdinal.GetSelIndex();
    taken.start.weekdayIndex = x.startWeekday.GetSelIndex();
    taken.start.monthIndex = x.startMonth.GetSelIndex();
    taken.end.ordinalIndex = x.endOrdinal.GetSelIndex();
    taken.end.weekdayIndex = x.endWeekday.GetSelIndex();
    taken.end.monthIndex = x.endMonth.GetSelIndex();
    RuleFromFields(taken, rule);
}

bool SNTPDstRuleDlg::CanClose()
{
    if (!TDialog::CanClose())
        return false;
    const std::pair<TComboBox*, TComboBox*> ends[] = {{endOrdinalList, endMonthList},
                                                      {startOrdinalList, startMonthList}};
    for (const auto& [ordinalList, monthList] : ends) {
        TzTransitionFields shown{};
        shown.ordinalIndex = SelectedIndex(*ordinalList);
        shown.monthIndex = SelectedIndex(*monthList);
        if (OrdinalLacksMonth(shown)) {
            SetFocus(monthList->GetHandle());
            ReportFormatError("Month must be chosen when an Ordinal is chosen",
                              "Month selection error");
            return false;
        }
    }
    return true;
}

void SNTPDstRuleDlg::SetupWindow()
{
    TDialog::SetupWindow();
    CentreWindow(MainWindowHandle(), GetHandle(), TRUE);
}
