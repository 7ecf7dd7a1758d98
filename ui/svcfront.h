// The window's end of the channel to the Windows service: one request, one
// reply, over the service's named pipe (channel/channel.h), each bounded
// in time (well under a second), and only with the service itself.
#pragma once

#include "channel/channel.h"

// Sends a Status or SendNow request; fills *status from a Status reply.
// Unreadable when no service answers (none installed, not running, busy
// past the attempts, or its reply was damaged). attempts: how often a busy
// pipe is tried again, 50 ms apart.
ChannelReply CallService(ChannelCommand command, ChannelStatus* status, int attempts = 1);

// A Set request with the keys marked in given.
ChannelReply CallServiceSet(const SNTPSettings& settings, const bool given[kSettingsKeyCount]);

// A SendNow request with what ask holds; *status from its reply, the
// service's status as it stood at the ask.
ChannelReply CallServiceAsk(const ChannelAsk& ask, ChannelStatus* status, int attempts);

// A Set request of the service's -b alone.
ChannelReply CallServiceBroadcasts(bool on);
