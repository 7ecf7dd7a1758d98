// Which NTP version the requests carry: a fixed one (1 unless told), or
// "auto", which tries version 1 and version 4 in turn until a server answers
// and then keeps the one that worked.
#pragma once

#include <cstdint>

enum class VersionMode { Fixed, Auto };

struct VersionSetting {
    VersionMode mode;
    int version;  // 1..4 for Fixed; ignored for Auto
};

inline constexpr VersionSetting kDefaultVersionSetting{VersionMode::Fixed, 1};

// "1" to "4" or "auto" (any case; blanks around are ignored). Returns false
// and leaves *setting alone for anything else.
bool ParseVersionSetting(const char* text, VersionSetting* setting);
// "1".."4" or "auto".
const char* VersionSettingText(VersionSetting setting);

// Byte 0 of a client request of this version: leap 0, mode 3.
uint8_t RequestHeaderFor(int version);

class VersionPicker {
public:
    // Requests in a row without any reply before "auto" tries the other version.
    static constexpr int kUnansweredLimit = 3;

    void Assign(VersionSetting setting);
    // Before each request: the version it is to carry.
    int NoteRequest();
    // A reply from the server (accepted or not): "auto" keeps this version.
    void NoteReply();

private:
    VersionSetting setting_ = kDefaultVersionSetting;
    int current_ = 1;
    int unanswered_ = 0;
    bool settled_ = false;
};
