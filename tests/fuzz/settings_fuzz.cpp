// Fuzz target: the values of a settings file, the optional keys included,
// read as the profile functions hand them over, written and read once more.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>

#include "service/versionpick.h"
#include "settings/numtext.h"
#include "settings/settings.h"

namespace {

void Require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}

bool IsProfileBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A stored value as the private-profile functions read it: without the
// blanks around it, then without one pair of equal quotes around it.
std::string ProfileText(std::string text)
{
    while (!text.empty() && IsProfileBlank(text.back()))
        text.pop_back();
    size_t first = 0;
    while (first < text.size() && IsProfileBlank(text[first]))
        ++first;
    text.erase(0, first);
    if (text.size() >= 2 && (text[0] == '"' || text[0] == '\'') && text.back() == text[0])
        text = text.substr(1, text.size() - 2);
    return text;
}

// The settings file as the private-profile functions keep it: a value is
// read as ProfileText and cut to the buffer; a missing key gives the
// default without its trailing blanks.
class ProfileFile : public SettingsStore {
public:
    std::map<std::string, std::string> values;

    void Read(const char* key, const char* defaultText, char* value, size_t size) override
    {
        const auto it = values.find(key);
        std::string text;
        if (it == values.end()) {
            text = defaultText;
            while (!text.empty() && text.back() == ' ')
                text.pop_back();
        } else {
            text = ProfileText(it->second);
        }
        const size_t n = text.size() < size - 1 ? text.size() : size - 1;
        std::memcpy(value, text.data(), n);
        value[n] = '\0';
    }
    void Write(const char* key, const char* value) override { values[key] = value; }
};

bool Terminated(const char* field, size_t size)
{
    return std::memchr(field, '\0', size) != nullptr;
}

void CheckSame(const SNTPSettings& a, const SNTPSettings& b)
{
    const DstRuleRecord& r = a.dstRule;
    const DstRuleRecord& s = b.dstRule;
    // Blanks around server names only separate them: they may go (and a
    // blank left first then means no server, as ever).
    const std::string server = ProfileText(a.ntpServer);
    Require((server[0] == ' ' ? "" : server) == b.ntpServer, "server reads back");
    Require(a.pollInterval == b.pollInterval, "poll interval reads back");
    Require(a.maxDelta == b.maxDelta, "maximum delta reads back");
    Require(r.startOrdinal == s.startOrdinal && r.startWeekday == s.startWeekday &&
                r.startMonth == s.startMonth && r.startHour == s.startHour &&
                r.startMinute == s.startMinute && r.endOrdinal == s.endOrdinal &&
                r.endWeekday == s.endWeekday && r.endMonth == s.endMonth &&
                r.endHour == s.endHour && r.endMinute == s.endMinute &&
                r.utcOffset == s.utcOffset,
            "rule reads back");
    Require(std::strncmp(r.stdName, s.stdName, sizeof r.stdName) == 0, "standard name reads back");
    Require(std::strncmp(r.dstName, s.dstName, sizeof r.dstName) == 0, "daylight name reads back");
}

// A number that is read is written as "%d" and reads back the same.
void CheckNumberText(const char* text)
{
    int32_t value = 0;
    const char* rest = nullptr;
    const NumberText kind = ScanNumberText(text, &value, &rest);
    Require(rest >= text && rest <= text + std::strlen(text), "rest inside the text");
    if (kind != NumberText::Number)
        return;
    char out[16];
    FormatNumberText(value, out, sizeof out);
    int32_t again = 0;
    Require(ScanNumberText(out, &again) == NumberText::Number && again == value,
            "formatted number reads back");
}

void CheckVersion(const char* text)
{
    VersionSetting setting = kDefaultVersionSetting;
    if (!ParseVersionSetting(text, &setting))
        return;
    Require(setting.mode == VersionMode::Auto || (setting.version >= 1 && setting.version <= 4),
            "version 1..4");
    VersionSetting again{VersionMode::Fixed, 0};
    Require(ParseVersionSetting(VersionSettingText(setting), &again) &&
                again.mode == setting.mode &&
                (setting.mode == VersionMode::Auto || again.version == setting.version),
            "version text reads back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The first byte says which of the eight keys the file holds (the six,
    // then NTPVersion and LogFile); the lines after it are their values, in
    // that order. A value ends at a NUL, as the profile functions read it.
    if (size == 0)
        return 0;
    const unsigned present = data[0];
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const char* const names[8] = {kSettingsKeys[0].name,      kSettingsKeys[1].name,
                                  kSettingsKeys[2].name,      kSettingsKeys[3].name,
                                  kSettingsKeys[4].name,      kSettingsKeys[5].name,
                                  kExtraSettingsKeys[0].name, kExtraSettingsKeys[1].name};
    ProfileFile file;
    size_t start = 0;
    for (unsigned k = 0; k < 8 && start <= rest.size(); ++k) {
        size_t end = rest.find('\n', start);
        if (end == std::string::npos)
            end = rest.size();
        if (present & (1u << k))
            file.values[names[k]] = rest.substr(start, end - start).c_str();
        start = end + 1;
    }

    SNTPSettings settings;
    ResetSettings(&settings);
    LoadSettingsFrom(file, &settings);
    SNTPExtraSettings extra;
    LoadExtraSettingsFrom(file, &extra);
    Require(Terminated(settings.ntpServer, sizeof settings.ntpServer), "server terminated");
    Require(Terminated(settings.dstRule.stdName, 4) && Terminated(settings.dstRule.dstName, 4),
            "names terminated");
    for (const char* key : {"PollInterval", "MaxDelta"}) {
        const auto it = file.values.find(key);
        if (it != file.values.end())
            CheckNumberText(it->second.c_str());
    }
    CheckVersion(extra.ntpVersion);

    // What the program writes at the end reads back as the same settings.
    ProfileFile written;
    SaveSettingsTo(written, settings);
    SaveExtraSettingsTo(written, extra);
    SNTPSettings back;
    ResetSettings(&back);
    LoadSettingsFrom(written, &back);
    SNTPExtraSettings extraBack;
    LoadExtraSettingsFrom(written, &extraBack);
    CheckSame(settings, back);
    Require(std::strcmp(extra.ntpVersion, extraBack.ntpVersion) == 0, "NTPVersion reads back");
    Require(std::strcmp(extra.logFile, extraBack.logFile) == 0, "LogFile reads back");
    Require((written.values.count("NTPVersion") != 0) == (extra.ntpVersion[0] != '\0') &&
                (written.values.count("LogFile") != 0) == (extra.logFile[0] != '\0'),
            "optional keys written only when set");
    return 0;
}
