// The program's resources as linked into a program: dialog 1's controls,
// menu, accelerators, images and the version resource.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "framework/tdialog.h"
#include "framework/editcmd.h"
#include "framework/tframe.h"
#include "resources/resource.h"

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

std::string ClassOf(HWND h)
{
    char name[64] = {};
    GetClassNameA(h, name, sizeof name);
    return name;
}

std::string TextOf(HWND h)
{
    char text[256] = {};
    GetWindowTextA(h, text, sizeof text);
    return text;
}

class MainDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(LoadLibraryA("BWCC32.DLL"), nullptr);
        host_ = CreateWindowA("STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
        dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), host_,
                                     PlainDialogProc, 0);
        ASSERT_NE(dialog_, nullptr);
    }
    void TearDown() override { DestroyWindow(host_); }
    HWND host_ = nullptr;
    HWND dialog_ = nullptr;
};

TEST_F(MainDialog, HasEveryControlWithItsIdClassTextAndStyle)
{
    EXPECT_EQ(ClassOf(dialog_), "bordlg");
    EXPECT_EQ(TextOf(dialog_), "IDD_MAIN");
    auto dialogStyle = static_cast<DWORD>(GetWindowLongA(dialog_, GWL_STYLE));
    EXPECT_TRUE(dialogStyle & WS_CHILD);
    EXPECT_EQ(dialogStyle & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));

    struct Expected {
        int id;
        const char* cls;
        const char* text;
        DWORD style;  // exact for the shades; the bits that matter otherwise
    };
    // In template order, which is also the tab order of the tab stops.
    const Expected controls[] = {
        {104, "Edit", "", WS_TABSTOP},
        {105, "Edit", "", WS_TABSTOP},
        {106, "Edit", "", WS_TABSTOP},
        {101, "BorBtn", "&Stats...", WS_TABSTOP},
        {103, "BorBtn", "Set T&Z...", WS_TABSTOP},
        {102, "BorBtn", "Set &Time", WS_TABSTOP | BS_DEFPUSHBUTTON},
        {0xFFFF, "BorShade", "", 0x50000001},
        {0xFFFF, "Static", "&NTP Server", 0x50000000},
        {0xFFFF, "Static", "Initial Poll", 0x50000000},
        {0xFFFF, "BorShade", "", 0x50008001},
        {0xFFFF, "BorShade", "", 0x50000004},
        {109, "Static", "Text", 0x50000000},
        {0xFFFF, "BorShade", "", 0x50000003},
        {0xFFFF, "Static", "seconds", 0x50000000},
        {0xFFFF, "Static", "Max Delta", 0x50000000},
        {0xFFFF, "Static", "mS", 0x50000000},
    };
    std::vector<HWND> children;
    for (HWND c = GetWindow(dialog_, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
        children.push_back(c);
    ASSERT_EQ(children.size(), sizeof controls / sizeof controls[0]);
    for (size_t i = 0; i < children.size(); ++i) {
        const Expected& e = controls[i];
        HWND c = children[i];
        SCOPED_TRACE(testing::Message() << "control " << i << " (" << e.text << ")");
        EXPECT_EQ(static_cast<int>(GetDlgCtrlID(c) & 0xFFFF), e.id);
        EXPECT_STRCASEEQ(ClassOf(c).c_str(), e.cls);
        EXPECT_EQ(TextOf(c), e.text);
        auto style = static_cast<DWORD>(GetWindowLongA(c, GWL_STYLE));
        if (ClassOf(c) == "Edit") {
            // The dialog manager turns an edit's WS_BORDER into a client edge.
            EXPECT_TRUE((style & WS_BORDER) || (GetWindowLongA(c, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
        }
        if (e.id == 0xFFFF)
            EXPECT_EQ(style, e.style);
        else
            EXPECT_EQ(style & e.style, e.style);
    }
    // Only 102 is the default button.
    EXPECT_EQ(GetWindowLongA(GetDlgItem(dialog_, 101), GWL_STYLE) & 0x0F, BS_PUSHBUTTON);
}

TEST_F(MainDialog, MeasuresItsTemplateSizeInDialogUnits)
{
    RECT units = {48, 31, 48 + 249, 31 + 112};
    MapDialogRect(dialog_, &units);
    RECT client;
    GetClientRect(dialog_, &client);
    EXPECT_EQ(client.right, units.right - units.left);
    EXPECT_EQ(client.bottom, units.bottom - units.top);
    // The dialog manager maps origin and size separately.
    RECT origin = {53, 18, 86, 12};
    MapDialogRect(dialog_, &origin);
    RECT got;
    GetWindowRect(GetDlgItem(dialog_, 104), &got);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&got), 2);
    EXPECT_EQ(got.left, origin.left);
    EXPECT_EQ(got.top, origin.top);
    EXPECT_EQ(got.right - got.left, origin.right);
    EXPECT_EQ(got.bottom - got.top, origin.bottom);
}

TEST(Resources, MenuHoldsHelpContentsSeparatorAbout)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDM_MAIN));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 1);
    char text[32] = {};
    GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&Help");
    HMENU help = GetSubMenu(menu, 0);
    ASSERT_EQ(GetMenuItemCount(help), 3);
    EXPECT_EQ(GetMenuItemID(help, 0), static_cast<UINT>(CM_HELPCONTENTS));
    EXPECT_EQ(GetMenuState(help, 1, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
    EXPECT_EQ(GetMenuItemID(help, 2), static_cast<UINT>(CM_HELPABOUT));
    GetMenuStringA(help, 2, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&About...");
    DestroyMenu(menu);
}

TEST(Resources, AcceleratorsAreTheEditCommandsAndFindNext)
{
    HACCEL accel = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDA_MAIN));
    ASSERT_NE(accel, nullptr);
    ACCEL entries[8];
    int count = CopyAcceleratorTableA(accel, entries, 8);
    ASSERT_EQ(count, 5);
    struct {
        BYTE flags;
        WORD key;
        WORD cmd;
    } expected[] = {
        {FVIRTKEY | FCONTROL, VK_INSERT, CM_EDITCOPY}, {FVIRTKEY | FSHIFT, VK_INSERT, CM_EDITPASTE},
        {FVIRTKEY | FCONTROL, VK_DELETE, CM_EDITCLEAR}, {FVIRTKEY | FALT, VK_BACK, CM_EDITUNDO},
        {FVIRTKEY, VK_F3, CM_EDITFINDNEXT},
    };
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(entries[i].fVirt & ~0x80, expected[i].flags) << i;  // 0x80: last entry
        EXPECT_EQ(entries[i].key, expected[i].key) << i;
        EXPECT_EQ(entries[i].cmd, expected[i].cmd) << i;
    }
}

TEST(Resources, ImagesLoad)
{
    HINSTANCE self = GetModuleHandleA(nullptr);
    for (int size : {32, 16})
        EXPECT_NE(LoadImageA(self, MAKEINTRESOURCEA(IDI_KESTRIN), IMAGE_ICON, size, size, 0), nullptr);
    EXPECT_NE(LoadCursorA(self, MAKEINTRESOURCEA(IDC_HELPCURSOR)), nullptr);
    EXPECT_NE(LoadBitmapA(self, MAKEINTRESOURCEA(IDB_PICTURE)), nullptr);
    EXPECT_NE(LoadBitmapA(self, MAKEINTRESOURCEA(IDB_PICTURE_DOWN)), nullptr);
}

TEST(Resources, VersionTranslationNamesTheStringTable)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, data.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length));
    // Read as one 32-bit value, unswapped, it is the string table's name.
    EXPECT_EQ(*static_cast<DWORD*>(value), 0x040904E4u);

    struct {
        const char* key;
        const char* value;
    } strings[] = {{"ProductName", "Kestrin"}, {"ProductVersion", "2.1b"}};
    for (const auto& s : strings) {
        std::string sub = std::string("\\StringFileInfo\\040904e4\\") + s.key;
        ASSERT_TRUE(VerQueryValueA(data.data(), sub.c_str(), &value, &length)) << s.key;
        EXPECT_STREQ(static_cast<char*>(value), s.value);
    }
    EXPECT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904e4\\LegalCopyright", &value,
                               &length));
    EXPECT_FALSE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904e4\\SpecialBuild", &value,
                                &length));
}

}  // namespace

// Not a check: shows the main window with sample text for a while, so that
// its look can be captured (run with --gtest_also_run_disabled_tests and
// --gtest_filter=*ShowMainWindow*; KESTRIN_SHOW_DIALOG picks 1, 3, 4 or
// 22000).
TEST(Resources, DISABLED_ShowMainWindow)
{
    ASSERT_NE(LoadLibraryA("BWCC32.DLL"), nullptr);
    char which[16] = "1";
    GetEnvironmentVariableA("KESTRIN_SHOW_DIALOG", which, sizeof which);
    int id = atoi(which);
    HWND shown = nullptr;
    HWND frame = nullptr;
    TFrameWindow* frameObject = nullptr;
    if (id == 1) {
        // The main window as the program builds it: frame, dialog client,
        // icon, menu.
        auto* dialog = new TDialog(nullptr, IDD_MAIN);
        frameObject = new TFrameWindow(nullptr, "Kestrin", dialog, true);
        frameObject->Attr.style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                                  WS_CLIPCHILDREN;
        frameObject->Attr.x = frameObject->Attr.y = 104;
        frameObject->SetIcon(GetModuleHandleA(nullptr), IDI_KESTRIN);
        frameObject->AssignMenu(IDM_MAIN);
        ASSERT_TRUE(frameObject->Create());
        frame = frameObject->GetHandle();
        shown = dialog->GetHandle();
        SetDlgItemTextA(shown, IDC_NTPSERVER, "pool.ntp.org");
        SetDlgItemTextA(shown, IDC_POLLINTERVAL, "60");
        SetDlgItemTextA(shown, IDC_MAXDELTA, "100");
        SetDlgItemTextA(shown, IDC_STATUS, "Last set: 08-Dec-2026 12:34:56 GMT   Delta: +0.25 secs");
        ShowWindow(frame, SW_SHOW);
        SetFocus(GetDlgItem(shown, IDC_NTPSERVER));
    } else {
        shown = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr,
                                   PlainDialogProc, 0);
        ASSERT_NE(shown, nullptr);
        ShowWindow(shown, SW_SHOW);
    }
    DWORD until = GetTickCount() + 8000;
    while (GetTickCount() < until) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageA(shown, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        Sleep(20);
    }
    if (frameObject != nullptr)
        delete frameObject;
    else
        DestroyWindow(shown);
}
