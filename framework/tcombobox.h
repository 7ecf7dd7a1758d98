// TComboBox and TComboBoxData: a drop-down list whose entries and selection
// travel through its dialog's transfer record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/tcontrol.h"

// A list's transfer field: the entries, a parallel list of item values, and
// the selection (index -1 and empty text when nothing is selected).
class TComboBoxData {
public:
    // Empties everything: no entries, no item values, no selection.
    void Clear();
    // Appends an entry; with isSelected it becomes the selection.
    void AddString(const char* text, bool isSelected = false);
    void AddItemData(uint32_t value) { itemDatas_.push_back(value); }
    // An index at or past the end selects nothing visible: the index is
    // kept, the selected text is empty.
    void Select(int index);

    int GetSelIndex() const { return selIndex_; }
    const std::string& GetSelection() const { return selection_; }
    const std::vector<std::string>& GetStrings() const { return strings_; }
    const std::vector<uint32_t>& GetItemDatas() const { return itemDatas_; }

    // What GetData reads back from the control.
    void SetSelectionFromList(int index, const std::string& text);

private:
    std::vector<std::string> strings_;
    std::vector<uint32_t> itemDatas_;
    std::string selection_;
    int selIndex_ = -1;
};

class TComboBox : public TControl {
public:
    // textLen: the longest entry, NUL included.
    TComboBox(TWindow* parent, int id, UINT textLen);

    // One TComboBoxData field, aligned in the record as the compiler aligns
    // it in a struct; the return value includes any padding before it.
    UINT Transfer(void* buffer, TTransferDirection direction) override;

private:
    UINT textLen_;
};
