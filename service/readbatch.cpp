// The reads of one read notification (see readbatch.h).
#include "service/readbatch.h"

int ReadBatch(DatagramReader& reader, int maxReads)
{
    // Every receive turns the read notification on again, and while more
    // datagrams wait each one posts another: under a flood they pile up
    // faster than they are handled, and the tick and painting, which come
    // only when no posted message waits, never get their turn. With
    // notifications off the batch posts none; turning them on again posts
    // one if a datagram still waits, so a flood keeps one outstanding.
    reader.SetNotifications(false);
    int taken = 0;
    ReadOutcome outcome = reader.ReadOne(true);
    while (outcome == ReadOutcome::Taken && ++taken < maxReads)
        outcome = reader.ReadOne(false);
    if (outcome != ReadOutcome::Closed)
        reader.SetNotifications(true);
    return taken;
}
