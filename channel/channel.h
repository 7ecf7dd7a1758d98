// The local channel between the window and the Windows service: the text of
// requests and replies, and who may make which request (portable; the pipe
// itself is in pipesrv.cpp and ui/svcfront.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "service/timehost.h"
#include "settings/settings.h"

// Local only: a named pipe is reached from another machine as
// \\machine\pipe\..., which the pipe's access list and its creation flags
// refuse (pipesrv.cpp).
inline constexpr char kChannelPipeName[] = "\\\\.\\pipe\\KestrinTimeService";
// The service's name with the service manager: the window talks only to a
// pipe whose server is that service's process.
inline constexpr char kChannelServiceName[] = "Kestrin";

// A request, one per connection, client to service:
//     COMMAND "\n" [KEY "=" VALUE "\n"]... "END\n"
//   STATUS   the service's status text, counts and settings
//   SENDNOW  an exchange now, with the service's own server and checks;
//            at most one per kAskSpacingMs for all clients together
//            (asklimit.h): the reply is OK either way, with NextAsk=
//            seconds until the next may go when this one did not.
//            Optional lines, each at most once and only as "=1":
//            Restart (counts and poll interval start again, as Set Time
//            does), IgnoreLimit and AcceptUnsynced (-i and -u, for the
//            exchange that this asks for only). Answered with the status.
//   SET      KEY=VALUE lines, keys of the settings file's main ones ([KESTRIN])
//            and AcceptBroadcasts (0 or 1), each at most once; VALUE as in
//            the file
// The reply, service to client: "OK\n" [KEY=VALUE\n]... "END\n", or
// "DENIED\nEND\n" (the client is no administrator), "BAD\nEND\n", or
// "FAILED\nEND\n" (a change the service could not save: nothing of it
// was taken). Only printable ASCII and "\n" are allowed in either.
inline constexpr size_t kChannelRequestMax = 512;  // bytes, the end line included
inline constexpr size_t kChannelReplyMax = 1024;   // bytes, the end line included

enum class ChannelCommand { Status, SendNow, Set };

// How a request's bytes read: Complete, or why not. Short: no end line yet
// (the client may still be sending, or never will).
enum class ChannelParse { Complete, Short, TooLong, Garbage };

// What a SendNow request asks for beyond the exchange itself.
struct ChannelAsk {
    bool restart = false;         // counts and poll interval start again
    bool ignoreLimit = false;     // -i for this exchange
    bool acceptUnsynced = false;  // -u for this exchange
};

inline constexpr char kAcceptBroadcastsKey[] = "AcceptBroadcasts";
inline constexpr char kNtsKey[] = "NTS";
inline constexpr char kNtsRootCertsKey[] = "NTSRootCerts";

struct ChannelRequest {
    ChannelCommand command = ChannelCommand::Status;
    ChannelAsk ask;             // SendNow
    int acceptBroadcasts = -1;  // Set: 0 or 1 when given, else -1
    int nts = -1;               // Set: NTS, 0 or 1 when given, else -1
    bool ntsRootCertsGiven = false;              // Set: NTSRootCerts given
    char ntsRootCerts[kSettingsValueSize] = {};  // its value (the file keeps no more)
    // Set: the keys given and their values, NUL-terminated.
    bool given[kSettingsKeyCount] = {};
    char value[kSettingsKeyCount][kSettingsWriteSize] = {};
};

// Reads a request from length bytes (no NUL needed). *request is filled
// only for Complete.
ChannelParse ParseChannelRequest(const char* bytes, size_t length, ChannelRequest* request);

// Who may do what: anyone the pipe lets in may read the status and ask for
// an exchange; only administrators may change the settings or relax the
// checks of an exchange (-i, -u), which protect the clock.
enum class ChannelAccess { Allowed, NeedsAdministrator };
ChannelAccess DecideChannelAccess(ChannelCommand command, bool administrator);
ChannelAccess DecideChannelAccess(const ChannelRequest& request, bool administrator);

// Writes the request into out (size bytes). set: the settings whose keys
// marked in given go with a Set request (null for the others). Returns the
// length, 0 when it does not fit.
size_t FormatChannelRequest(ChannelCommand command, const SNTPSettings* set,
                            const bool given[kSettingsKeyCount], char* out, size_t size);

// A SendNow request with what ask holds; a Set request of AcceptBroadcasts
// alone. Return as FormatChannelRequest.
size_t FormatSendNowRequest(const ChannelAsk& ask, char* out, size_t size);
size_t FormatBroadcastsRequest(bool on, char* out, size_t size);

// True when every value of a Set request reads back whole from the
// settings file (whose values are read kSettingsValueSize - 1 characters
// at most): a longer one would be cut at the next start.
bool ChannelSetFitsFile(const ChannelRequest& request);

// Applies a Set request's values to settings, as the settings file's are
// taken (a value that cannot be taken gives the key's fallback).
void ApplyChannelSet(const ChannelRequest& request, SNTPSettings* settings);

// What the service reports on Status.
struct ChannelStatus {
    char statusText[81] = {};  // the last status text; empty before the first
    ServiceCounts counts;
    SNTPSettings settings{};
    uint32_t noChannelSeconds = 0;  // NoChannel=: how long the service ran without its pipe
    uint32_t nextAskSeconds = 0;    // NextAsk=: until a SENDNOW may go again; 0: now
    // Since the service started, never cleared: replies accepted, and
    // failures that stop an exchange (a lookup that failed, an address
    // that does not parse). A client compares them before and after its
    // ask.
    uint64_t accepted = 0;
    uint64_t failed = 0;
    bool acceptBroadcasts = false;  // the service's -b
    bool nts = false;               // NTS=1
    char ntsRootCerts[kSettingsValueSize] = {};  // NTSRootCerts, as in the file
};

enum class ChannelReply { Ok, Denied, Bad, Failed, Unreadable };

// The replies. Each returns its length, 0 when it does not fit in size.
size_t FormatStatusReply(const ChannelStatus& status, char* out, size_t size);
size_t FormatPlainReply(ChannelReply kind, char* out, size_t size);  // Ok, Denied, Bad or Failed
// OK to a SENDNOW that did not go, with NextAsk=waitSeconds.
size_t FormatAskReply(uint32_t waitSeconds, char* out, size_t size);

// The kind of a reply of length bytes; for Ok with a status in it, fills
// *status when given (a key it does not know is skipped, one it lacks keeps
// the value *status had).
ChannelReply ParseChannelReply(const char* bytes, size_t length, ChannelStatus* status);

// True when bytes hold a whole message: the last line is "END".
bool ChannelMessageEnded(const char* bytes, size_t length);
