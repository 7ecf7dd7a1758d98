// Fuzz target: a received datagram through dispatch, the acceptance tests,
// the answer to a client and the clock adjustment, with a virtual clock.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "service/adjust.h"
#include "service/clockif.h"
#include "service/kisscode.h"
#include "service/ntppacket.h"
#include "service/ownstate.h"
#include "tests/fakes/fakeclock.h"

namespace {

// Stops the run on a broken property; libFuzzer saves the input.
void Require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}

const uint32_t kServer = 0x0100007Fu;  // addresses as held; only compared
const uint32_t kOther = 0x0200007Fu;

struct Reading {
    int year, month, day, hour, minute, second, hundredths;
};
// Clock readings the adjustment starts from: ordinary, the first instant the
// conversions take, both sides of the NTP era, the last 32-bit second, and
// the repeated hour after daylight saving ends.
const Reading kReadings[] = {
    {1998, 6, 1, 12, 0, 0, 0},    {1980, 1, 1, 5, 0, 0, 0},    {2036, 2, 7, 6, 28, 15, 99},
    {2036, 2, 7, 6, 28, 16, 0},   {2038, 1, 19, 3, 14, 7, 99}, {1998, 10, 25, 1, 30, 0, 50},
};

DstRuleRecord Rule(const char* text, const char* stdName, const char* dstName)
{
    DstRuleRecord rule = DefaultDstRule();
    ParseDstRule(text, &rule);
    SetZoneName(rule.stdName, stdName);
    SetZoneName(rule.dstName, dstName);
    return rule;
}

bool ValidReading(const ClockDate& d, const ClockTime& t)
{
    return d.da_month >= 1 && d.da_month <= 12 && d.da_day >= 1 && d.da_day <= 31 &&
           t.ti_hour <= 23 && t.ti_minute <= 59 && t.ti_second <= 59 && t.ti_hundredths <= 99;
}

void CheckAnswer(const NtpPacket& request)
{
    NtpPacket answer = request;
    const NtpTime now{0xBC1B5F10u, 0x12345678u};
    BuildAnswer(&answer, now, kServer);
    Require((answer.bytes[0] & 7) == 4, "answer mode 4");
    Require((answer.bytes[0] & 0x38) == (request.bytes[0] & 0x38), "answer keeps version");
    Require(std::memcmp(answer.bytes + 24, request.bytes + 40, 8) == 0, "originate copied");
    Require(std::memcmp(answer.bytes + 4, request.bytes + 4, 8) == 0, "root fields kept");
    Require(ClassifyDatagram(answer) == DatagramKind::Reply, "answer is a reply");
    Require(CheckReply(answer, kServer, kServer, false, false) == Verdict::Accepted,
            "our answer is acceptable");

    // ServerStratum=auto, set from whatever this datagram says: the answer
    // is never a kiss code and still answers the request.
    OwnClockState own;
    const ReplyTimes times = ReadReplyTimes(request);
    own.NoteSet(request, kServer, times.originate, times.receive, times.transmit, now, now);
    NtpPacket stated = answer;
    own.FillAnswer(&stated, now, 2880);
    Require(stated.bytes[1] >= 1 && stated.bytes[1] <= 15, "own stratum 1 to 15");
    Require((stated.bytes[0] & 0x3F) == (answer.bytes[0] & 0x3F), "own answer keeps version and mode");
    Require(std::memcmp(stated.bytes + 24, answer.bytes + 24, 24) == 0, "own answer keeps its times");

    const KissCode kiss = ReadKissCode(request, 48);
    Require((kiss.kind == KissKind::None) == (request.bytes[1] != 0), "a kiss code exactly at stratum 0");
    for (int i = 0; i < 4 && kiss.kind != KissKind::None; ++i)
        Require(kiss.text[i] >= 0x20 && kiss.text[i] <= 0x7E, "kiss code printable");
}

void CheckAdjustment(const DstRuleRecord& rule, const ReplyTimes& times, const Reading& r,
                     bool ignoreLimit)
{
    FakeClockReset();
    FakeClockSet(r.year, r.month, r.day, r.hour, r.minute, r.second, r.hundredths);
    // Installed with the clock at this reading, as at start-up.
    TimeConverter zone(&rule, r.year);
    const bool plainZone = rule.startOrdinal == -1;
    ClockDate d{};
    ClockTime t{};
    ReadLocalClock(&d, &t);
    int64_t nowEpoch = 0;
    if (!zone.LocalToEpoch(&d, &t, &nowEpoch))
        return;
    const NtpTime now = NtpFromEpoch(nowEpoch, t.ti_hundredths);

    const int32_t base = 60;
    const AdjustInput in{times.originate, times.receive, times.transmit, now, ignoreLimit, 100,
                         base, 4 * base};
    const AdjustResult result = AdjustClock(zone, in);

    Require(std::memchr(result.statusText, '\0', sizeof result.statusText) != nullptr,
            "status text terminated");
    const NtpTime theta = ClockOffset(in.t1, in.t2, in.t3, in.t4);
    const NtpTime magnitude = (theta.seconds & 0x80000000u) ? NtpNegate(theta) : theta;
    const bool within = magnitude.seconds < static_cast<uint32_t>(kMaxSetSeconds);

    switch (result.action) {
    case AdjustAction::NotSet:
        Require(!ignoreLimit && !within, "not set only beyond the limit");
        Require(FakeClockSetCount() == 0, "not set: clock untouched");
        Require(result.currentInterval == in.currentInterval, "not set: interval kept");
        Require(std::strncmp(result.statusText, "Clock NOT Set:", 14) == 0, "not-set text");
        break;
    case AdjustAction::SetFailed:
        Require(result.error == 87, "only an unusable time fails with the virtual clock");
        Require(FakeClockSetCount() == 0, "unusable time: clock untouched");
        Require(result.currentInterval == in.currentInterval, "failed: interval kept");
        break;
    case AdjustAction::Set: {
        Require(ignoreLimit || within, "set only within the limit");
        Require(FakeClockSetCount() == 1, "set once");
        const ClockDate sd = FakeClockLastSetDate();
        const ClockTime st = FakeClockLastSetTime();
        Require(ValidReading(sd, st), "set reading in range");
        Require(result.currentInterval >= base && result.currentInterval <= 16 * base,
                "interval within base..16 x base");
        Require(std::strncmp(result.statusText, "Last set: ", 10) == 0, "set text");
        Require(std::strchr(result.statusText, '?') == nullptr, "set time has a text");
        if (plainZone) {
            // Without daylight saving every local reading is one instant:
            // the reading set must be now + theta, rounded to hundredths.
            const EpochHundredths want = EpochFromNtp(NtpAdd(now, theta));
            int64_t got = 0;
            Require(zone.LocalToEpoch(&sd, &st, &got), "set reading converts back");
            Require(got == want.epochSeconds && st.ti_hundredths == want.hundredths,
                    "set to now + theta");
        }
        break;
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A datagram longer than the buffer fails to be received at all.
    if (size > kDatagramBufferSize)
        return 0;
    NtpPacket packet;
    std::memset(packet.bytes, 0, sizeof packet.bytes);
    if (size > 0)
        std::memcpy(packet.bytes, data, size);

    if (ClassifyDatagram(packet) == DatagramKind::ClientRequest) {
        CheckAnswer(packet);
        return 0;
    }

    // The tests only ever let more through as they are relaxed.
    const Verdict strict = CheckReply(packet, kOther, kServer, false, false);
    bool accepted = false;
    for (int flags = 0; flags < 4; ++flags) {
        const bool unsynced = (flags & 1) != 0;
        const bool anySource = (flags & 2) != 0;
        const Verdict fromOther = CheckReply(packet, kOther, kServer, unsynced, anySource);
        const Verdict fromServer = CheckReply(packet, kServer, kServer, unsynced, anySource);
        Require(fromServer != Verdict::WrongSource, "the server is the right source");
        if (strict == Verdict::Accepted)
            Require(fromOther == Verdict::Accepted, "relaxing keeps acceptance");
        accepted = accepted || fromOther == Verdict::Accepted;
    }
    if (!accepted)
        return 0;

    static const DstRuleRecord plain = DefaultDstRule();
    static const DstRuleRecord daylight = Rule("1,7,4,2,0,5,7,10,2,0,18000", "EST", "EDT");
    static const DstRuleRecord southern = Rule("1,7,10,2,0,3,7,3,3,0,-36000", "AES", "AED");

    const ReplyTimes times = ReadReplyTimes(packet);
    for (const Reading& r : kReadings) {
        for (bool ignoreLimit : {false, true}) {
            for (const DstRuleRecord* rule : {&plain, &daylight, &southern})
                CheckAdjustment(*rule, times, r, ignoreLimit);
        }
    }
    return 0;
}
