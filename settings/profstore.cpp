// The settings file through the system's private-profile functions.
#include "settings/profstore.h"

#include <windows.h>

// The platform finds a bare name's file (the Windows folder) and cuts each
// value read to the buffer.
void PrivateProfileStore::Read(const char* key, const char* defaultText, char* value, size_t size)
{
    GetPrivateProfileStringA(kSettingsSection, key, defaultText, value, static_cast<DWORD>(size),
                             file_.c_str());
}

void PrivateProfileStore::Write(const char* key, const char* value)
{
    if (!WritePrivateProfileStringA(kSettingsSection, key, value, file_.c_str()))
        writeFailed_ = true;
}
