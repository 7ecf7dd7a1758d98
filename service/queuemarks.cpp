// Marks in the NTP port's own receive queue (see queuemarks.h).
#include "service/queuemarks.h"

#include <cstring>

#include "service/ntppacket.h"

namespace {

// Mode 7 with the version bits all set: no NTP message of any version.
const uint8_t kTag[4] = {0xFF, 'q', 'm', 'k'};

// The token as two of the wire's words, high first.
void WriteToken(uint64_t token, uint8_t* bytes)
{
    WriteWord(bytes, static_cast<uint32_t>(token >> 32));
    WriteWord(bytes + 4, static_cast<uint32_t>(token));
}

uint64_t ReadToken(const uint8_t* bytes)
{
    return static_cast<uint64_t>(ReadWord(bytes)) << 32 | ReadWord(bytes + 4);
}

}  // namespace

bool QueueMarks::Due(int64_t nowUs, int64_t waitUs)
{
    if (waitUs < kBusyUs || nowUs < retryAtUs_)
        return false;
    // What a full queue dropped is never read: forgotten, so marks go on.
    int lost = 0;
    while (lost < count_ && nowUs - marks_[lost].sentAtUs > kLostAfterUs)
        ++lost;
    if (lost > 0) {
        std::memmove(marks_, marks_ + lost, (count_ - lost) * sizeof marks_[0]);
        count_ -= lost;
    }
    if (count_ == kMaxOutstanding)
        return false;
    return count_ == 0 || nowUs - marks_[count_ - 1].sentAtUs >= kEveryUs;
}

void QueueMarks::Sent(int64_t nowUs, uint8_t* bytes)
{
    std::memcpy(bytes, kTag, sizeof kTag);
    WriteToken(secret_ + sequence_, bytes + sizeof kTag);
    if (count_ == kMaxOutstanding) {
        std::memmove(marks_, marks_ + 1, (count_ - 1) * sizeof marks_[0]);
        --count_;
    }
    marks_[count_++] = Outstanding{sequence_++, nowUs};
}

bool QueueMarks::LooksLikeMark(const uint8_t* bytes, int length)
{
    return length == static_cast<int>(kQueueMarkSize) &&
           std::memcmp(bytes, kTag, sizeof kTag) == 0;
}

bool QueueMarks::Take(const uint8_t* bytes, int length, int64_t* sentAtUs)
{
    if (!LooksLikeMark(bytes, length))
        return false;
    const uint64_t sequence = ReadToken(bytes + sizeof kTag) - secret_;
    for (int i = 0; i < count_; ++i) {
        if (marks_[i].sequence != sequence)
            continue;
        *sentAtUs = marks_[i].sentAtUs;
        // The queue keeps its order: the marks before this one are lost.
        std::memmove(marks_, marks_ + i + 1, (count_ - i - 1) * sizeof marks_[0]);
        count_ -= i + 1;
        return true;
    }
    return false;
}
