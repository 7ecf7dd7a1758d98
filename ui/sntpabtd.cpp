// The about dialog and the reader of the program's own version resource.
#include "ui/sntpabtd.h"

#include <cstring>

#include "framework/tcontrol.h"
#include "ui/cntr_wnd.h"
#include "ui/verpath.h"

namespace {

constexpr UINT kTextLength = 255;
constexpr DWORD kModuleNameSize = 255;
constexpr size_t kVersionPathSize = 260;

const char kCopyrightText[] = "Copyright (c) 2026 The Kestrin developers";

}  // namespace

ProjectRCVersion::ProjectRCVersion(HINSTANCE module)
{
    char fileName[kModuleNameSize] = "";
    const DWORD length = GetModuleFileNameA(module, fileName, kModuleNameSize);
    if (length == 0 || length >= kModuleNameSize)
        return;  // a cut name would read another file's resource
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(fileName, &handle);
    if (size == 0)
        return;
    std::unique_ptr<unsigned char[]> data(new unsigned char[size]());
    if (!GetFileVersionInfoA(fileName, 0, size, data.get()))
        return;
    void* entry = nullptr;
    UINT entrySize = 0;
    if (!VerQueryValueA(data.get(), "\\VarFileInfo\\Translation", &entry, &entrySize) ||
        entry == nullptr || entrySize < sizeof(uint32_t))
        return;
    translation = static_cast<const uint32_t*>(entry);
    versionData = std::move(data);
}

ProjectRCVersion::~ProjectRCVersion() = default;

bool ProjectRCVersion::Query(const char* key, const char** text) const
{
    if (versionData == nullptr || text == nullptr)
        return false;
    unsigned char entry[4];
    std::memcpy(entry, translation, sizeof entry);
    char path[kVersionPathSize];
    if (!FormatVersionPath(TranslationFromBytes(entry), key, path, sizeof path))
        return false;
    void* value = nullptr;
    UINT valueLength = 0;
    if (!VerQueryValueA(versionData.get(), path, &value, &valueLength) || value == nullptr)
        return false;
    *text = static_cast<const char*>(value);
    return true;
}

SNTPAboutDlg::SNTPAboutDlg(TWindow* parent, UINT resourceId, HINSTANCE module)
    : TDialog(parent, resourceId, module)
{
}

void SNTPAboutDlg::SetupWindow()
{
    auto* versionLine = new TStatic(this, IDC_VERSIONLINE, kTextLength);
    auto* copyrightLine = new TStatic(this, IDC_COPYRIGHT, kTextLength);
    auto* specialBuildNote = new TStatic(this, IDC_SPECIALBUILD, kTextLength);
    TDialog::SetupWindow();
    CentreWindow(nullptr, GetHandle(), TRUE);

    // The version is written once, in the version resource; without one
    // the line keeps the template's bare "Version".
    ProjectRCVersion version(GetModule());
    const char* productVersion = nullptr;
    if (version.QueryProductVersion(&productVersion)) {
        char line[kTextLength];
        wsprintfA(line, "%s %s Version %.200s (32-bit)", "", "", productVersion);
        versionLine->SetText(line);
    }
    copyrightLine->SetText(kCopyrightText);
    const char* note = nullptr;
    if (version.QuerySpecialBuild(&note))
        specialBuildNote->SetText(note);
}
