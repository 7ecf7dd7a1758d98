// The about dialog and the reader of the program's own version resource.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/tdialog.h"
#include "resources/resource.h"

// Reads the version resource of a module's file once; the lookups return
// texts inside the reader's copy, valid while the reader lives.
class ProjectRCVersion {
public:
    // module: null is the program itself. Without a readable version
    // resource with a translation table every lookup returns false.
    explicit ProjectRCVersion(HINSTANCE module);
    ~ProjectRCVersion();

    ProjectRCVersion(const ProjectRCVersion&) = delete;
    ProjectRCVersion& operator=(const ProjectRCVersion&) = delete;

    // True and the value of the key in the string table that the first
    // translation entry names; false when there is none.
    bool QueryProductName(const char** text) const { return Query("ProductName", text); }
    bool QueryProductVersion(const char** text) const { return Query("ProductVersion", text); }
    bool QueryCopyright(const char** text) const { return Query("LegalCopyright", text); }
    bool QuerySpecialBuild(const char** text) const { return Query("SpecialBuild", text); }

private:
    bool Query(const char* key, const char** text) const;

    const uint32_t* translation = nullptr;  // first translation entry, inside versionData
    std::unique_ptr<unsigned char[]> versionData;
};

class SNTPAboutDlg : public TDialog {
public:
    SNTPAboutDlg(TWindow* parent, UINT resourceId = IDD_ABOUT, HINSTANCE module = nullptr);

    // Centred on the screen; the version line ("  Version X (32-bit)", X
    // the ProductVersion of the module's version resource), the copyright
    // line and, when the version resource has one, the special-build note.
    void SetupWindow() override;
};
