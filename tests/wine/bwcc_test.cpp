// BWCC32.DLL under Wine: its exports, its classes and the button's clicks.
#include <gtest/gtest.h>

#include <windows.h>

namespace {

class Bwcc : public ::testing::Test {
protected:
    static void SetUpTestSuite() { module_ = LoadLibraryA("BWCC32.DLL"); }
    void SetUp() override { ASSERT_NE(module_, nullptr) << "BWCC32.DLL beside the test program"; }
    template <typename Fn>
    static Fn Export(const char* name)
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    static HMODULE module_;
};
HMODULE Bwcc::module_ = nullptr;

TEST_F(Bwcc, ExportsTheFourCallsByPlainName)
{
    using VersionFn = DWORD(WINAPI*)();
    using IntlFn = BOOL(WINAPI*)(UINT);
    using RegisterFn = BOOL(WINAPI*)(HINSTANCE);
    auto version = Export<VersionFn>("BWCCGetVersion");
    auto intl = Export<IntlFn>("BWCCIntlInit");
    auto reg = Export<RegisterFn>("BWCCRegister");
    ASSERT_NE(version, nullptr);
    ASSERT_NE(intl, nullptr);
    ASSERT_NE(reg, nullptr);
    EXPECT_NE(GetProcAddress(module_, "BWCCMessageBox"), nullptr);
    EXPECT_EQ(version() & 0xFFFF, 0x0200u);
    EXPECT_TRUE(intl(0));
    EXPECT_TRUE(reg(GetModuleHandleA(nullptr)));
}

TEST_F(Bwcc, RegistersGlobalClassesForEveryModule)
{
    struct {
        const char* name;
        int minimumExtra;
    } classes[] = {
        {"BorBtn", 0}, {"BorShade", 0}, {"BorStatic", 0},
        {"bordlg", DLGWINDOWEXTRA}, {"BorDlg", DLGWINDOWEXTRA}, {"bordlg_gray", DLGWINDOWEXTRA},
    };
    for (const auto& c : classes) {
        WNDCLASSA wc;
        // Looked up through the program's module: the classes are global.
        ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), c.name, &wc)) << c.name;
        EXPECT_TRUE(wc.style & CS_GLOBALCLASS) << c.name;
        EXPECT_GE(wc.cbWndExtra, c.minimumExtra) << c.name;
    }
}

// A parent that records the commands its children send.
struct ClickLog {
    int clicks = 0;
    int lastId = 0;
};
ClickLog g_log;

LRESULT CALLBACK ParentProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    if (m == WM_COMMAND && HIWORD(w) == BN_CLICKED) {
        ++g_log.clicks;
        g_log.lastId = LOWORD(w);
        return 0;
    }
    return DefWindowProcA(h, m, w, l);
}

HWND MakeParent()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "BwccTestParent";
    RegisterClassA(&wc);
    return CreateWindowA("BwccTestParent", "", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200,
                         nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

TEST_F(Bwcc, ButtonClicksOnReleaseInsideAndOnSpace)
{
    HWND parent = MakeParent();
    ASSERT_NE(parent, nullptr);
    HWND button = CreateWindowA("BorBtn", "Set &Time", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 10,
                                60, 40, parent, reinterpret_cast<HMENU>(102),
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(button, nullptr);
    g_log = ClickLog();

    SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_TRUE(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_PUSHED);
    SendMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(g_log.clicks, 1);
    EXPECT_EQ(g_log.lastId, 102);

    // Released outside: no click.
    SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(500, 5));
    EXPECT_EQ(g_log.clicks, 1);
    EXPECT_FALSE(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_PUSHED);

    SendMessageA(button, WM_KEYDOWN, VK_SPACE, 0);
    SendMessageA(button, WM_KEYUP, VK_SPACE, 0);
    SendMessageA(button, BM_CLICK, 0, 0);
    EXPECT_EQ(g_log.clicks, 3);

    // The dialog manager moves the default look with BM_SETSTYLE.
    EXPECT_TRUE(SendMessageA(button, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON);
    SendMessageA(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    EXPECT_TRUE(SendMessageA(button, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON);

    // Disabled buttons ignore BM_CLICK.
    EnableWindow(button, FALSE);
    SendMessageA(button, BM_CLICK, 0, 0);
    EXPECT_EQ(g_log.clicks, 3);
    DestroyWindow(parent);
}

TEST_F(Bwcc, ShadesLetTheMouseThrough)
{
    HWND parent = MakeParent();
    ASSERT_NE(parent, nullptr);
    for (DWORD kind : {1UL, 0x8001UL, 3UL, 4UL}) {
        HWND shade = CreateWindowA("BorShade", kind == 0x8001 ? "Caption" : "",
                                   WS_CHILD | WS_VISIBLE | kind, 5, 5, 150, 100, parent, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(shade, nullptr) << kind;
        EXPECT_EQ(SendMessageA(shade, WM_NCHITTEST, 0, MAKELPARAM(20, 20)), HTTRANSPARENT);
        DestroyWindow(shade);
    }
    DestroyWindow(parent);
}

}  // namespace
