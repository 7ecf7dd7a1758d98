// Which NTP version the requests carry.
#include "service/versionpick.h"

#include <cctype>
#include <string>

namespace {

constexpr int kOldestVersion = 1;  // what every server of any age answers
constexpr int kNewestVersion = 4;
constexpr uint8_t kClientMode = 3;

}  // namespace

bool ParseVersionSetting(const char* text, VersionSetting* setting)
{
    if (text == nullptr)
        return false;
    std::string word;
    for (const char* p = text; *p != '\0'; ++p)
        if (*p != ' ' && *p != '\t')
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    if (word == "auto") {
        *setting = VersionSetting{VersionMode::Auto, kOldestVersion};
        return true;
    }
    if (word.size() == 1 && word[0] >= '0' + kOldestVersion && word[0] <= '0' + kNewestVersion) {
        *setting = VersionSetting{VersionMode::Fixed, word[0] - '0'};
        return true;
    }
    return false;
}

const char* VersionSettingText(VersionSetting setting)
{
    static const char* const kDigits[] = {"1", "1", "2", "3", "4"};
    if (setting.mode == VersionMode::Auto)
        return "auto";
    if (setting.version < kOldestVersion || setting.version > kNewestVersion)
        return "1";
    return kDigits[setting.version];
}

uint8_t RequestHeaderFor(int version)
{
    return static_cast<uint8_t>(((version & 7) << 3) | kClientMode);
}

void VersionPicker::Assign(VersionSetting setting)
{
    setting_ = setting;
    current_ = setting.mode == VersionMode::Auto ? kOldestVersion : setting.version;
    unanswered_ = 0;
    settled_ = false;
}

int VersionPicker::NoteRequest()
{
    if (setting_.mode == VersionMode::Auto && !settled_ && unanswered_ >= kUnansweredLimit) {
        current_ = current_ == kOldestVersion ? kNewestVersion : kOldestVersion;
        unanswered_ = 0;
    }
    ++unanswered_;
    return current_;
}

void VersionPicker::NoteReply()
{
    unanswered_ = 0;
    if (setting_.mode == VersionMode::Auto)
        settled_ = true;
}
