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

// A request, one per connection, client to service:
//     COMMAND "\n" [KEY "=" VALUE "\n"]... "END\n"
//   STATUS   the service's status text, counts and settings
//   SENDNOW  an exchange now, with the service's own server and checks
//   SET      KEY=VALUE lines, keys of the settings file ([KESTRIN]),
//            each at most once; VALUE as in the file
// The reply, service to client: "OK\n" [KEY=VALUE\n]... "END\n", or
// "DENIED\nEND\n" (the client is no administrator), or "BAD\nEND\n".
// Only printable ASCII and "\n" are allowed in either.
inline constexpr size_t kChannelRequestMax = 512;  // bytes, the end line included
inline constexpr size_t kChannelReplyMax = 1024;   // bytes, the end line included

enum class ChannelCommand { Status, SendNow, Set };

// How a request's bytes read: Complete, or why not. Short: no end line yet
// (the client may still be sending, or never will).
enum class ChannelParse { Complete, Short, TooLong, Garbage };

struct ChannelRequest {
    ChannelCommand command = ChannelCommand::Status;
    // Set: the keys given and their values, NUL-terminated.
    bool given[kSettingsKeyCount] = {};
    char value[kSettingsKeyCount][kSettingsWriteSize] = {};
};

// Reads a request from length bytes (no NUL needed). *request is filled
// only for Complete.
ChannelParse ParseChannelRequest(const char* bytes, size_t length, ChannelRequest* request);

// Who may do what: anyone the pipe lets in may read the status and ask for
// an exchange; only administrators may change the settings.
enum class ChannelAccess { Allowed, NeedsAdministrator };
ChannelAccess DecideChannelAccess(ChannelCommand command, bool administrator);

// Writes the request into out (size bytes). set: the settings whose keys
// marked in given go with a Set request (null for the others). Returns the
// length, 0 when it does not fit.
size_t FormatChannelRequest(ChannelCommand command, const SNTPSettings* set,
                            const bool given[kSettingsKeyCount], char* out, size_t size);

// Applies a Set request's values to settings, as the settings file's are
// taken (a value that cannot be taken gives the key's fallback).
void ApplyChannelSet(const ChannelRequest& request, SNTPSettings* settings);

// What the service reports on Status.
struct ChannelStatus {
    char statusText[81] = {};  // the last status text; empty before the first
    ServiceCounts counts;
    SNTPSettings settings{};
};

enum class ChannelReply { Ok, Denied, Bad, Unreadable };

// The replies. Each returns its length, 0 when it does not fit in size.
size_t FormatStatusReply(const ChannelStatus& status, char* out, size_t size);
size_t FormatPlainReply(ChannelReply kind, char* out, size_t size);  // Ok, Denied or Bad

// The kind of a reply of length bytes; for Ok with a status in it, fills
// *status when given (a key it does not know is skipped, one it lacks keeps
// the value *status had).
ChannelReply ParseChannelReply(const char* bytes, size_t length, ChannelStatus* status);

// True when bytes hold a whole message: the last line is "END".
bool ChannelMessageEnded(const char* bytes, size_t length);
