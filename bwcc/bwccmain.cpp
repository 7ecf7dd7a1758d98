// BWCC32.DLL entry points: load and unload, class registration, version,
// language and message box.
#include "bwcc/bwcc.h"
#include "bwcc/bwccint.h"

HINSTANCE g_bwccModule = nullptr;

namespace {

UINT g_language = 0;

struct ClassSpec {
    const char* name;
    WNDPROC proc;
    int extraBytes;
    HCURSOR cursor;
};

// Dialog classes need the dialog manager's window extra; "BorDlg" is the
// same class as "bordlg" (class names are case-blind).
bool RegisterOne(const ClassSpec& spec)
{
    WNDCLASSA existing;
    if (GetClassInfoA(g_bwccModule, spec.name, &existing))
        return true;
    WNDCLASSA wc = {};
    wc.style = CS_GLOBALCLASS | CS_DBLCLKS;
    wc.lpfnWndProc = spec.proc;
    wc.cbWndExtra = spec.extraBytes;
    wc.hInstance = g_bwccModule;
    wc.hCursor = spec.cursor;
    wc.hbrBackground = nullptr;
    wc.lpszClassName = spec.name;
    return RegisterClassA(&wc) != 0;
}

const char* const kClassNames[] = {"BorBtn", "BorShade", "BorStatic", "bordlg", "bordlg_gray"};

bool RegisterAll()
{
    HCURSOR arrow = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    const ClassSpec specs[] = {
        {kClassNames[0], BorBtnProc, kControlExtraBytes, arrow},
        {kClassNames[1], BorShadeProc, kControlExtraBytes, arrow},
        {kClassNames[2], BorStaticProc, kControlExtraBytes, arrow},
        {kClassNames[3], BorDlgProc, DLGWINDOWEXTRA, arrow},
        {kClassNames[4], BorDlgProc, DLGWINDOWEXTRA, arrow},
    };
    bool all = true;
    for (const ClassSpec& spec : specs) {
        if (!RegisterOne(spec))
            all = false;
    }
    return all;
}

void UnregisterAll()
{
    for (const char* name : kClassNames)
        UnregisterClassA(name, g_bwccModule);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        g_bwccModule = module;
        DisableThreadLibraryCalls(module);
        RegisterAll();
        break;
    case DLL_PROCESS_DETACH:
        // At process end the classes go with the process; on FreeLibrary
        // they must go before their procedures do.
        if (reserved == nullptr) {
            UnregisterAll();
            bwcc::ReleasePalette();
        }
        break;
    default:
        break;
    }
    return TRUE;
}

extern "C" DWORD WINAPI BWCCGetVersion(void)
{
    return 0x0200;
}

extern "C" BOOL WINAPI BWCCIntlInit(UINT language)
{
    g_language = language;
    return TRUE;
}

extern "C" BOOL WINAPI BWCCRegister(HINSTANCE)
{
    // The classes are global: one registration serves every module.
    return RegisterAll() ? TRUE : FALSE;
}

extern "C" int WINAPI BWCCMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    return MessageBoxExA(owner, text, caption, type, static_cast<WORD>(g_language));
}
