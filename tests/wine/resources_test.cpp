// The program's resources as linked: the main dialog builds with the library's controls, images load, the version is found.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
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

// The template builds with the library's control classes and holds every
// control the program reads or writes.
TEST_F(MainDialog, BuildsWithTheControlsTheProgramUses)
{
    for (int id : {IDC_STATS, IDC_SETTIME, IDC_SETTZ, IDC_NTPSERVER, IDC_POLLINTERVAL, IDC_MAXDELTA,
                   IDC_STATUS})
        EXPECT_NE(GetDlgItem(dialog_, id), nullptr) << id;
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
