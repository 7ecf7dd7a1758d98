// A BWCC32.DLL that reports a version too old for the program (0x01FF), for the fatal-box test.
#include <windows.h>

extern "C" DWORD WINAPI BWCCGetVersion(void)
{
    return 0x000101FF;
}
