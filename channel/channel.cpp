// The channel's requests and replies as text, and its access decisions.
#include "channel/channel.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/numtext.h"

namespace {

constexpr char kEndLine[] = "END";

const char* const kCommandNames[] = {"STATUS", "SENDNOW", "SET"};
const char* const kReplyNames[] = {"OK", "DENIED", "BAD", "FAILED"};

// The keys of a status reply beyond the settings keys.
constexpr char kStatusKey[] = "Status";
constexpr char kCountKeys[4][10] = {"Sent", "Received", "Rejected", "Broadcast"};
constexpr char kNoChannelKey[] = "NoChannel";
constexpr char kNextAskKey[] = "NextAsk";
constexpr char kAcceptedKey[] = "Accepted";
constexpr char kFailedKey[] = "Failed";

// The lines a SendNow request may carry, each only as "=1".
constexpr char kAskKeys[3][16] = {"Restart", "IgnoreLimit", "AcceptUnsynced"};
bool ChannelAsk::*const kAskFields[3] = {&ChannelAsk::restart, &ChannelAsk::ignoreLimit,
                                          &ChannelAsk::acceptUnsynced};

bool Printable(char c) { return (c >= 0x20 && c <= 0x7e) || c == '\n'; }

// One line of text: [begin, end) without its "\n".
struct Line {
    const char* begin;
    size_t length;
    bool Is(const char* word) const
    {
        return std::strlen(word) == length && std::memcmp(begin, word, length) == 0;
    }
};

// Splits off the next line of [*at, end); false at the end.
bool NextLine(const char** at, const char* end, Line* line)
{
    if (*at >= end)
        return false;
    const char* newline = static_cast<const char*>(std::memchr(*at, '\n', end - *at));
    if (newline == nullptr)
        newline = end;
    *line = Line{*at, static_cast<size_t>(newline - *at)};
    *at = newline < end ? newline + 1 : end;
    return true;
}

int SettingsKeyOf(const char* name, size_t length)
{
    for (int key = 0; key < kSettingsKeyCount; ++key)
        if (Line{name, length}.Is(kSettingsKeys[key].name))
            return key;
    return -1;
}

// Appends text to out at *used; false when it does not fit.
bool Append(char* out, size_t size, size_t* used, const char* text)
{
    const size_t length = std::strlen(text);
    if (*used + length + 1 > size)
        return false;
    std::memcpy(out + *used, text, length + 1);
    *used += length;
    return true;
}

bool AppendPair(char* out, size_t size, size_t* used, const char* key, const char* value)
{
    return Append(out, size, used, key) && Append(out, size, used, "=") &&
           Append(out, size, used, value) && Append(out, size, used, "\n");
}

// Values go on one line: a value with a byte the channel does not carry
// is refused rather than cut or changed.
bool Carried(const char* value)
{
    for (const char* c = value; *c != '\0'; ++c)
        if (!Printable(*c) || *c == '\n')
            return false;
    return true;
}

// Decimal digits only, at most what 64 bits hold.
bool ParseCount(const char* text, uint64_t* count)
{
    uint64_t value = 0;
    if (*text == '\0')
        return false;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || value > (UINT64_MAX - static_cast<unsigned>(*c - '0')) / 10)
            return false;
        value = value * 10 + static_cast<unsigned>(*c - '0');
    }
    *count = value;
    return true;
}

}  // namespace

bool ChannelMessageEnded(const char* bytes, size_t length)
{
    const size_t endLength = sizeof kEndLine;  // "END" and its "\n"
    if (length < endLength || bytes[length - 1] != '\n' ||
        std::memcmp(bytes + length - endLength, kEndLine, endLength - 1) != 0)
        return false;
    return length == endLength || bytes[length - endLength - 1] == '\n';
}

ChannelParse ParseChannelRequest(const char* bytes, size_t length, ChannelRequest* request)
{
    for (size_t i = 0; i < length && i <= kChannelRequestMax; ++i)
        if (!Printable(bytes[i]))
            return ChannelParse::Garbage;
    if (length > kChannelRequestMax)
        return ChannelParse::TooLong;
    if (!ChannelMessageEnded(bytes, length))
        return ChannelParse::Short;

    const char* at = bytes;
    const char* end = bytes + length - (sizeof kEndLine);  // the end line is known
    Line line{};
    if (!NextLine(&at, end, &line))
        return ChannelParse::Garbage;
    ChannelRequest parsed;
    int command = -1;
    for (int i = 0; i < 3; ++i)
        if (line.Is(kCommandNames[i]))
            command = i;
    if (command < 0)
        return ChannelParse::Garbage;
    parsed.command = static_cast<ChannelCommand>(command);

    int pairs = 0;
    bool asked[3] = {};
    while (NextLine(&at, end, &line)) {
        if (parsed.command == ChannelCommand::Status)
            return ChannelParse::Garbage;
        const char* equals = static_cast<const char*>(std::memchr(line.begin, '=', line.length));
        if (equals == nullptr)
            return ChannelParse::Garbage;
        const Line name{line.begin, static_cast<size_t>(equals - line.begin)};
        const Line value{equals + 1, line.length - name.length - 1};
        if (parsed.command == ChannelCommand::SendNow) {
            int ask = -1;
            for (int i = 0; i < 3; ++i)
                if (name.Is(kAskKeys[i]))
                    ask = i;
            if (ask < 0 || asked[ask] || !value.Is("1"))
                return ChannelParse::Garbage;
            asked[ask] = true;
            parsed.ask.*kAskFields[ask] = true;
            continue;
        }
        if (name.Is(kAcceptBroadcastsKey)) {
            if (parsed.acceptBroadcasts >= 0 || !(value.Is("0") || value.Is("1")))
                return ChannelParse::Garbage;
            parsed.acceptBroadcasts = value.Is("1") ? 1 : 0;
            ++pairs;
            continue;
        }
        if (name.Is(kNtsKey)) {
            if (parsed.nts >= 0 || !(value.Is("0") || value.Is("1")))
                return ChannelParse::Garbage;
            parsed.nts = value.Is("1") ? 1 : 0;
            ++pairs;
            continue;
        }
        if (name.Is(kNtsRootCertsKey)) {
            if (parsed.ntsRootCertsGiven || value.length >= kSettingsValueSize)
                return ChannelParse::Garbage;
            parsed.ntsRootCertsGiven = true;
            std::memcpy(parsed.ntsRootCerts, value.begin, value.length);
            parsed.ntsRootCerts[value.length] = '\0';
            ++pairs;
            continue;
        }
        const int key = SettingsKeyOf(line.begin, name.length);
        const size_t valueLength = value.length;
        if (key < 0 || parsed.given[key] || valueLength >= kSettingsWriteSize)
            return ChannelParse::Garbage;
        parsed.given[key] = true;
        std::memcpy(parsed.value[key], equals + 1, valueLength);
        parsed.value[key][valueLength] = '\0';
        ++pairs;
    }
    if (parsed.command == ChannelCommand::Set && pairs == 0)
        return ChannelParse::Garbage;
    *request = parsed;
    return ChannelParse::Complete;
}

ChannelAccess DecideChannelAccess(ChannelCommand command, bool administrator)
{
    // An ordinary user must not point the machine's clock at a server of
    // their choosing: every change of the settings needs an administrator.
    if (command == ChannelCommand::Set && !administrator)
        return ChannelAccess::NeedsAdministrator;
    return ChannelAccess::Allowed;
}

ChannelAccess DecideChannelAccess(const ChannelRequest& request, bool administrator)
{
    // -i and -u let a reply through that the checks would refuse: the
    // clock is the machine's, so they are an administrator's to give.
    if (request.command == ChannelCommand::SendNow &&
        (request.ask.ignoreLimit || request.ask.acceptUnsynced) && !administrator)
        return ChannelAccess::NeedsAdministrator;
    return DecideChannelAccess(request.command, administrator);
}

size_t FormatChannelRequest(ChannelCommand command, const SNTPSettings* set,
                            const bool given[kSettingsKeyCount], char* out, size_t size)
{
    size_t used = 0;
    if (size == 0 || !Append(out, size, &used, kCommandNames[static_cast<int>(command)]) ||
        !Append(out, size, &used, "\n"))
        return 0;
    if (command == ChannelCommand::Set) {
        if (set == nullptr || given == nullptr)
            return 0;
        for (int key = 0; key < kSettingsKeyCount; ++key) {
            if (!given[key])
                continue;
            char value[kSettingsWriteSize];
            FormatSettingsValue(static_cast<SettingsKey>(key), *set, value, sizeof value);
            if (!Carried(value) || !AppendPair(out, size, &used, kSettingsKeys[key].name, value))
                return 0;
        }
    }
    if (!Append(out, size, &used, "END\n") || used > kChannelRequestMax)
        return 0;
    return used;
}

size_t FormatSendNowRequest(const ChannelAsk& ask, char* out, size_t size)
{
    size_t used = 0;
    if (size == 0 || !Append(out, size, &used, "SENDNOW\n"))
        return 0;
    for (int i = 0; i < 3; ++i)
        if (ask.*kAskFields[i] && !AppendPair(out, size, &used, kAskKeys[i], "1"))
            return 0;
    return Append(out, size, &used, "END\n") ? used : 0;
}

size_t FormatBroadcastsRequest(bool on, char* out, size_t size)
{
    size_t used = 0;
    if (size == 0 || !Append(out, size, &used, "SET\n") ||
        !AppendPair(out, size, &used, kAcceptBroadcastsKey, on ? "1" : "0") ||
        !Append(out, size, &used, "END\n"))
        return 0;
    return used;
}

bool ChannelSetFitsFile(const ChannelRequest& request)
{
    for (int key = 0; key < kSettingsKeyCount; ++key)
        if (request.given[key] && std::strlen(request.value[key]) >= kSettingsValueSize)
            return false;
    return true;
}

void ApplyChannelSet(const ChannelRequest& request, SNTPSettings* settings)
{
    for (int key = 0; key < kSettingsKeyCount; ++key)
        if (request.given[key])
            TakeSettingsValue(static_cast<SettingsKey>(key), request.value[key], settings);
}

size_t FormatStatusReply(const ChannelStatus& status, char* out, size_t size)
{
    size_t used = 0;
    if (size == 0 || !Append(out, size, &used, "OK\n"))
        return 0;
    // A status text with a byte the channel does not carry goes as empty.
    if (!AppendPair(out, size, &used, kStatusKey, Carried(status.statusText) ? status.statusText : ""))
        return 0;
    const uint64_t counts[4] = {status.counts.sent, status.counts.received, status.counts.rejected,
                                status.counts.broadcast};
    for (int i = 0; i < 4; ++i) {
        char number[24];
        FormatCountText(counts[i], number, sizeof number);
        if (!AppendPair(out, size, &used, kCountKeys[i], number))
            return 0;
    }
    const uint64_t since[2] = {status.accepted, status.failed};
    const char* const sinceKeys[2] = {kAcceptedKey, kFailedKey};
    for (int i = 0; i < 2; ++i) {
        char number[24];
        FormatCountText(since[i], number, sizeof number);
        if (!AppendPair(out, size, &used, sinceKeys[i], number))
            return 0;
    }
    for (int key = 0; key < kSettingsKeyCount; ++key) {
        char value[kSettingsWriteSize];
        FormatSettingsValue(static_cast<SettingsKey>(key), status.settings, value, sizeof value);
        if (!AppendPair(out, size, &used, kSettingsKeys[key].name, Carried(value) ? value : ""))
            return 0;
    }
    char seconds[24];
    FormatCountText(status.noChannelSeconds, seconds, sizeof seconds);
    if (!AppendPair(out, size, &used, kNoChannelKey, seconds))
        return 0;
    if (status.nextAskSeconds != 0) {
        FormatCountText(status.nextAskSeconds, seconds, sizeof seconds);
        if (!AppendPair(out, size, &used, kNextAskKey, seconds))
            return 0;
    }
    if (!AppendPair(out, size, &used, kAcceptBroadcastsKey, status.acceptBroadcasts ? "1" : "0") ||
        !AppendPair(out, size, &used, kNtsKey, status.nts ? "1" : "0") ||
        !AppendPair(out, size, &used, kNtsRootCertsKey,
                    Carried(status.ntsRootCerts) ? status.ntsRootCerts : "") ||
        !Append(out, size, &used, "END\n") || used > kChannelReplyMax)
        return 0;
    return used;
}

size_t FormatPlainReply(ChannelReply kind, char* out, size_t size)
{
    if (kind == ChannelReply::Unreadable)
        return 0;
    const int n = std::snprintf(out, size, "%s\nEND\n", kReplyNames[static_cast<int>(kind)]);
    return n > 0 && static_cast<size_t>(n) < size ? static_cast<size_t>(n) : 0;
}

size_t FormatAskReply(uint32_t waitSeconds, char* out, size_t size)
{
    size_t used = 0;
    char seconds[24];
    FormatCountText(waitSeconds, seconds, sizeof seconds);
    if (size == 0 || !Append(out, size, &used, "OK\n") ||
        !AppendPair(out, size, &used, kNextAskKey, seconds) || !Append(out, size, &used, "END\n"))
        return 0;
    return used;
}

ChannelReply ParseChannelReply(const char* bytes, size_t length, ChannelStatus* status)
{
    if (length > kChannelReplyMax || !ChannelMessageEnded(bytes, length))
        return ChannelReply::Unreadable;
    for (size_t i = 0; i < length; ++i)
        if (!Printable(bytes[i]))
            return ChannelReply::Unreadable;
    const char* at = bytes;
    const char* end = bytes + length - (sizeof kEndLine);
    Line line{};
    if (!NextLine(&at, end, &line))
        return ChannelReply::Unreadable;
    if (line.Is("DENIED"))
        return ChannelReply::Denied;
    if (line.Is("BAD"))
        return ChannelReply::Bad;
    if (line.Is("FAILED"))
        return ChannelReply::Failed;
    if (!line.Is("OK"))
        return ChannelReply::Unreadable;
    ChannelStatus parsed = status != nullptr ? *status : ChannelStatus{};
    // Said of this reply alone: a reply without it means an ask may go now.
    parsed.nextAskSeconds = 0;
    while (NextLine(&at, end, &line)) {
        const char* equals = static_cast<const char*>(std::memchr(line.begin, '=', line.length));
        if (equals == nullptr)
            return ChannelReply::Unreadable;
        const size_t keyLength = static_cast<size_t>(equals - line.begin);
        const size_t valueLength = line.length - keyLength - 1;
        char value[kSettingsWriteSize];
        if (valueLength >= sizeof value)
            return ChannelReply::Unreadable;
        std::memcpy(value, equals + 1, valueLength);
        value[valueLength] = '\0';
        const Line key{line.begin, keyLength};
        if (key.Is(kStatusKey)) {
            std::snprintf(parsed.statusText, sizeof parsed.statusText, "%.80s", value);
            continue;
        }
        uint32_t* seconds = key.Is(kNoChannelKey) ? &parsed.noChannelSeconds
                            : key.Is(kNextAskKey) ? &parsed.nextAskSeconds
                                                  : nullptr;
        if (seconds != nullptr) {
            uint64_t count = 0;
            if (!ParseCount(value, &count) || count > UINT32_MAX)
                return ChannelReply::Unreadable;
            *seconds = static_cast<uint32_t>(count);
            continue;
        }
        if (key.Is(kAcceptBroadcastsKey)) {
            parsed.acceptBroadcasts = std::strcmp(value, "1") == 0;
            continue;
        }
        if (key.Is(kNtsKey)) {
            parsed.nts = std::strcmp(value, "1") == 0;
            continue;
        }
        if (key.Is(kNtsRootCertsKey)) {
            std::snprintf(parsed.ntsRootCerts, sizeof parsed.ntsRootCerts, "%s", value);
            continue;
        }
        uint64_t* counts[6] = {&parsed.counts.sent, &parsed.counts.received,
                               &parsed.counts.rejected, &parsed.counts.broadcast,
                               &parsed.accepted, &parsed.failed};
        const char* const countKeys[6] = {kCountKeys[0], kCountKeys[1], kCountKeys[2],
                                          kCountKeys[3], kAcceptedKey, kFailedKey};
        bool found = false;
        for (int i = 0; i < 6 && !found; ++i) {
            if (key.Is(countKeys[i])) {
                if (!ParseCount(value, counts[i]))
                    return ChannelReply::Unreadable;
                found = true;
            }
        }
        const int settingsKey = SettingsKeyOf(line.begin, keyLength);
        if (!found && settingsKey >= 0)
            TakeSettingsValue(static_cast<SettingsKey>(settingsKey), value, &parsed.settings);
    }
    if (status != nullptr)
        *status = parsed;
    return ChannelReply::Ok;
}
