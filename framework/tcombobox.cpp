// TComboBox and TComboBoxData: filling a list from its data and reading the
// selection back.
#include "framework/tcombobox.h"

#include <cstddef>

void TComboBoxData::Clear()
{
    strings_.clear();
    itemDatas_.clear();
    selection_.clear();
    selIndex_ = -1;
}

void TComboBoxData::AddString(const char* text, bool isSelected)
{
    strings_.emplace_back(text != nullptr ? text : "");
    if (isSelected)
        Select(static_cast<int>(strings_.size()) - 1);
}

void TComboBoxData::Select(int index)
{
    selIndex_ = index;
    if (index >= 0 && static_cast<size_t>(index) < strings_.size())
        selection_ = strings_[static_cast<size_t>(index)];
    else
        selection_.clear();
}

void TComboBoxData::SetSelectionFromList(int index, const std::string& text)
{
    selIndex_ = index;
    selection_ = text;
}

TComboBox::TComboBox(TWindow* parent, int id, UINT textLen)
    : TControl(parent, id, "COMBOBOX"), textLen_(textLen)
{
    Attr.style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
}

UINT TComboBox::Transfer(void* buffer, TTransferDirection direction)
{
    auto address = reinterpret_cast<uintptr_t>(buffer);
    uintptr_t align = alignof(TComboBoxData);
    auto padding = static_cast<UINT>((align - address % align) % align);
    auto* data = reinterpret_cast<TComboBoxData*>(static_cast<char*>(buffer) + padding);

    if (handle_ != nullptr) {
        if (direction == TTransferDirection::SetData) {
            SendMessageA(handle_, CB_RESETCONTENT, 0, 0);
            const auto& strings = data->GetStrings();
            const auto& values = data->GetItemDatas();
            for (size_t i = 0; i < strings.size(); ++i) {
                LRESULT at = SendMessageA(handle_, CB_ADDSTRING, 0,
                                          reinterpret_cast<LPARAM>(strings[i].c_str()));
                if (at >= 0 && i < values.size())
                    SendMessageA(handle_, CB_SETITEMDATA, static_cast<WPARAM>(at),
                                 static_cast<LPARAM>(values[i]));
            }
            int index = data->GetSelIndex();
            bool inList = index >= 0 && static_cast<size_t>(index) < strings.size();
            SendMessageA(handle_, CB_SETCURSEL, inList ? static_cast<WPARAM>(index) : WPARAM(-1),
                         0);
        } else {
            auto index = static_cast<int>(SendMessageA(handle_, CB_GETCURSEL, 0, 0));
            std::string text;
            if (index >= 0) {
                auto length = SendMessageA(handle_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
                if (length >= 0) {
                    text.assign(static_cast<size_t>(length) + 1, '\0');
                    SendMessageA(handle_, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                 reinterpret_cast<LPARAM>(&text[0]));
                    text.resize(static_cast<size_t>(length));
                }
            } else {
                index = -1;
            }
            data->SetSelectionFromList(index, text);
        }
    }
    return padding + static_cast<UINT>(sizeof(TComboBoxData));
}
