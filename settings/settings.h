// The settings record and its values in the settings file: keys, defaults, reading and writing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "time/dstrule.h"

// The settings the main dialog holds and keeps in "KESTRIN.INI".
struct SNTPSettings {
    char ntpServer[255];    // host name or dotted IPv4 address; empty = no server
    int32_t pollInterval;   // initial poll interval, seconds
    int32_t maxDelta;       // maximum delta, milliseconds
    DstRuleRecord dstRule;  // zone rule; its names come from their own keys
    bool serverStratumAuto; // "ServerStratum=auto": answers tell the clock's own state
};

inline constexpr char kSettingsFile[] = "KESTRIN.INI";
inline constexpr char kSettingsSection[] = "KESTRIN";

// Every value is read into a buffer of this size, so at most 79 characters
// of a stored value are seen.
inline constexpr size_t kSettingsValueSize = 80;

// Values are written through a buffer of this size: large enough for a whole
// server name (254 characters), which therefore is never cut on writing.
inline constexpr size_t kSettingsWriteSize = sizeof(SNTPSettings{}.ntpServer);

// The keys, in the order they are read and written. The last is optional:
// written only to a file that holds it (SaveSettingsTo).
enum SettingsKey { kKeyNtpServer, kKeyPollInterval, kKeyMaxDelta, kKeyDstRule,
                   kKeyStdTzName, kKeyDstTzName, kKeyServerStratum, kSettingsKeyCount };

struct SettingsKeyInfo {
    const char* name;         // key in the file
    const char* defaultText;  // read when the key (or file, or section) is missing
};
extern const SettingsKeyInfo kSettingsKeys[kSettingsKeyCount];

// Where the values live: the private-profile functions in the program, a
// table of strings in the tests.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Fills value (size bytes) with the key's stored text (empty for an empty
    // value), or defaultText when the key is missing; cut to size - 1
    // characters and NUL-terminated.
    virtual void Read(const char* key, const char* defaultText, char* value, size_t size) = 0;
    // Replaces the key's value or adds the key. Failures are not reported.
    virtual void Write(const char* key, const char* value) = 0;
};

// Before anything is read: no server, poll interval 60 (the rest is set by
// every load).
void ResetSettings(SNTPSettings* settings);

// Applies the text read for one key to the settings. Text that cannot be
// taken gives the key's fallback: no server for a leading blank, 60 and 100
// for the numbers, a rule without daylight saving and offset 0; names are
// cut to 3 characters. Never fails.
void TakeSettingsValue(SettingsKey key, const char* text, SNTPSettings* settings);

// Formats one key's value into out (NUL-terminated, cut to size; a size of
// kSettingsWriteSize holds every value whole).
void FormatSettingsValue(SettingsKey key, const SNTPSettings& settings, char* out, size_t size);

// Reads all the keys in order, each into an 80-byte buffer.
void LoadSettingsFrom(SettingsStore& store, SNTPSettings* settings);

// Writes the keys in order; ServerStratum only when on or already in the
// file (then empty when off), so a file without it stays without it. A value other than the server's with a
// blank at either end, or inside a pair of equal quotes, is written inside
// double quotes: the private-profile functions drop both when they read,
// and the value then reads back as it was.
void SaveSettingsTo(SettingsStore& store, const SNTPSettings& settings);

// Keys that a user adds to the file when wanted; a file without them stays
// without them. The texts are kept as read and taken by the time service.
struct SNTPExtraSettings {
    char ntpVersion[kSettingsValueSize];  // "NTPVersion": "1" (or empty), "3", "4" or "auto"
    char logFile[kSettingsValueSize];     // "LogFile": the exchange log; empty: none
    // "AcceptBroadcasts": "1" is the Windows service's -b; the window alone
    // keeps the key as it is and takes -b from its command line only.
    char acceptBroadcasts[kSettingsValueSize];
    // "NTS": "1" makes every server an NTS server; anything else leaves plain SNTP.
    char nts[kSettingsValueSize];
    // "NTSRootCerts": a PEM file of roots trusted beside the system's, taken
    // beside KESTRIN.INI when relative (as LogFile); empty: the system's alone.
    char ntsRootCerts[kSettingsValueSize];
};

enum ExtraSettingsKey { kKeyNtpVersion, kKeyLogFile, kKeyAcceptBroadcasts, kKeyNts, kKeyNtsRootCerts,
                        kExtraSettingsKeyCount };

// NTS=1, exactly: the one value that turns it on.
bool NtsOn(const SNTPExtraSettings& extra);
extern const SettingsKeyInfo kExtraSettingsKeys[kExtraSettingsKeyCount];

// Reads both keys; a missing key reads as empty.
void LoadExtraSettingsFrom(SettingsStore& store, SNTPExtraSettings* extra);
// Writes each key whose value is not empty: one that was read (or set since),
// written back as it is (quoted as SaveSettingsTo quotes); an empty one is
// not added.
void SaveExtraSettingsTo(SettingsStore& store, const SNTPExtraSettings& extra);
