// The settings file through the system's private-profile functions.
#pragma once

#include <string>

#include "settings/settings.h"

class PrivateProfileStore : public SettingsStore {
public:
    // file: a bare name (the platform puts it in the Windows folder) or a
    // full path.
    explicit PrivateProfileStore(const char* file = kSettingsFile) : file_(file) {}
    void Read(const char* key, const char* defaultText, char* value, size_t size) override;
    void Write(const char* key, const char* value) override;
    // True once a write has failed (the file or its folder not writable).
    bool WriteFailed() const { return writeFailed_; }

private:
    std::string file_;
    bool writeFailed_ = false;
};
