// The settings record and its values in the settings file: keys, defaults, reading and writing.
#include "settings/settings.h"

#include <cstdio>
#include <cstring>

#include "settings/numtext.h"

const SettingsKeyInfo kSettingsKeys[kSettingsKeyCount] = {
    {"NTPServer", " "},
    {"PollInterval", "60"},
    {"MaxDelta", "100"},
    {"DstRule", kDefaultDstRuleText},
    {"STDTzName", "UTC"},
    {"DSTTzName", "UTC"},
    {"ServerStratum", ""},
};

const SettingsKeyInfo kExtraSettingsKeys[kExtraSettingsKeyCount] = {
    {"NTPVersion", ""},
    {"LogFile", ""},
    {"AcceptBroadcasts", ""},
    {"NTS", ""},
    {"NTSRootCerts", ""},
};

namespace {

constexpr int32_t kFallbackPollSeconds = 60;
constexpr int32_t kFallbackMaxDeltaMs = 100;

// Exactly one number converted, else the fallback.
int32_t TakeNumber(const char* text, int32_t fallback)
{
    int32_t value = 0;
    return ScanNumberText(text, &value) == NumberText::Number ? value : fallback;
}

// Copies at most maxChars characters of text into a field of size bytes,
// cut to fit, NUL-terminated.
void CopyCut(char* field, size_t size, const char* text, size_t maxChars)
{
    size_t n = 0;
    while (n + 1 < size && n < maxChars && text[n] != '\0') {
        field[n] = text[n];
        ++n;
    }
    field[n] = '\0';
}

bool IsProfileBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The private-profile functions read a value without the blanks around it
// and without one pair of equal quotes around it. A value that would lose
// either is written inside quotes, so that it reads back as it was; every
// other value is written as it stands.
void WriteValue(SettingsStore& store, const char* key, const char* value)
{
    const size_t length = std::strlen(value);
    const bool quoted = length >= 2 && (value[0] == '"' || value[0] == '\'') &&
                        value[length - 1] == value[0];
    if (length == 0 || (!quoted && !IsProfileBlank(value[0]) && !IsProfileBlank(value[length - 1]))) {
        store.Write(key, value);
        return;
    }
    char text[kSettingsWriteSize + 2];
    std::snprintf(text, sizeof text, "\"%s\"", value);
    store.Write(key, text);
}

}  // namespace

void ResetSettings(SNTPSettings* settings)
{
    std::memset(settings, 0, sizeof *settings);
    settings->pollInterval = kFallbackPollSeconds;
}

void TakeSettingsValue(SettingsKey key, const char* text, SNTPSettings* settings)
{
    if (text == nullptr)
        text = "";
    switch (key) {
    case kKeyNtpServer:
        // A leading blank (the default " ") means that no server is set.
        if (text[0] == ' ')
            settings->ntpServer[0] = '\0';
        else
            CopyCut(settings->ntpServer, sizeof settings->ntpServer, text, sizeof settings->ntpServer);
        break;
    case kKeyPollInterval:
        settings->pollInterval = TakeNumber(text, kFallbackPollSeconds);
        break;
    case kKeyMaxDelta:
        settings->maxDelta = TakeNumber(text, kFallbackMaxDeltaMs);
        break;
    case kKeyDstRule:
        ParseDstRule(text, &settings->dstRule);
        break;
    case kKeyStdTzName:
        SetZoneName(settings->dstRule.stdName, text);
        break;
    case kKeyDstTzName:
        SetZoneName(settings->dstRule.dstName, text);
        break;
    case kKeyServerStratum:
        // "auto" in any case; anything else answers as stratum 15.
        settings->serverStratumAuto = std::strlen(text) == 4 && (text[0] | 0x20) == 'a' &&
                                      (text[1] | 0x20) == 'u' && (text[2] | 0x20) == 't' &&
                                      (text[3] | 0x20) == 'o';
        break;
    case kSettingsKeyCount:
        break;
    }
}

void FormatSettingsValue(SettingsKey key, const SNTPSettings& settings, char* out, size_t size)
{
    if (out == nullptr || size == 0)
        return;
    out[0] = '\0';
    switch (key) {
    case kKeyNtpServer:
        CopyCut(out, size, settings.ntpServer, sizeof settings.ntpServer - 1);
        break;
    case kKeyPollInterval:
        FormatNumberText(settings.pollInterval, out, size);
        break;
    case kKeyMaxDelta:
        FormatNumberText(settings.maxDelta, out, size);
        break;
    case kKeyDstRule:
        FormatDstRule(settings.dstRule, out, size);
        break;
    case kKeyStdTzName:
        CopyCut(out, size, settings.dstRule.stdName, 3);
        break;
    case kKeyDstTzName:
        CopyCut(out, size, settings.dstRule.dstName, 3);
        break;
    case kKeyServerStratum:
        CopyCut(out, size, settings.serverStratumAuto ? "auto" : "", 4);
        break;
    case kSettingsKeyCount:
        break;
    }
}

void LoadSettingsFrom(SettingsStore& store, SNTPSettings* settings)
{
    for (int k = 0; k < kSettingsKeyCount; ++k) {
        const SettingsKey key = static_cast<SettingsKey>(k);
        char value[kSettingsValueSize] = {};
        store.Read(kSettingsKeys[k].name, kSettingsKeys[k].defaultText, value, sizeof value);
        value[sizeof value - 1] = '\0';  // whatever the store did
        TakeSettingsValue(key, value, settings);
    }
}

void SaveSettingsTo(SettingsStore& store, const SNTPSettings& settings)
{
    for (int k = 0; k < kSettingsKeyCount; ++k) {
        char value[kSettingsWriteSize] = {};
        FormatSettingsValue(static_cast<SettingsKey>(k), settings, value, sizeof value);
        if (k == kKeyServerStratum && value[0] == '\0') {
            // Off: a file without the key stays without it.
            const char kAbsent[] = "\x01";
            char stored[kSettingsValueSize] = {};
            store.Read(kSettingsKeys[k].name, kAbsent, stored, sizeof stored);
            if (std::strcmp(stored, kAbsent) == 0)
                continue;
        }
        // Blanks around server names only separate them, and a leading blank
        // read back would mean no server: the server is written as it stands,
        // so its blanks go, as they always went.
        if (k == kKeyNtpServer)
            store.Write(kSettingsKeys[k].name, value);
        else
            WriteValue(store, kSettingsKeys[k].name, value);
    }
}

namespace {

// The field of each extra key, in the order of kExtraSettingsKeys.
char (SNTPExtraSettings::*const kExtraFields[kExtraSettingsKeyCount])[kSettingsValueSize] = {
    &SNTPExtraSettings::ntpVersion,
    &SNTPExtraSettings::logFile,
    &SNTPExtraSettings::acceptBroadcasts,
    &SNTPExtraSettings::nts,
    &SNTPExtraSettings::ntsRootCerts,
};

}  // namespace

void LoadExtraSettingsFrom(SettingsStore& store, SNTPExtraSettings* extra)
{
    for (int k = 0; k < kExtraSettingsKeyCount; ++k) {
        char* value = extra->*kExtraFields[k];
        value[0] = '\0';
        store.Read(kExtraSettingsKeys[k].name, kExtraSettingsKeys[k].defaultText, value,
                   kSettingsValueSize);
        value[kSettingsValueSize - 1] = '\0';
    }
}

void SaveExtraSettingsTo(SettingsStore& store, const SNTPExtraSettings& extra)
{
    for (int k = 0; k < kExtraSettingsKeyCount; ++k) {
        const char* value = extra.*kExtraFields[k];
        if (value[0] != '\0')
            WriteValue(store, kExtraSettingsKeys[k].name, value);
    }
}

bool NtsOn(const SNTPExtraSettings& extra)
{
    return extra.nts[0] == '1' && extra.nts[1] == '\0';
}
