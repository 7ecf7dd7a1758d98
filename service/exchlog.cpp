// The exchange log: CSV lines and the file they go to.
#include "service/exchlog.h"

#include <cinttypes>
#include <cstring>

namespace {

const char kLineEnd[] = "\r\n";

// "seconds.micro", the fraction cut (not rounded) to microseconds.
void TimestampText(NtpTime t, char* out, size_t size)
{
    const uint64_t micro = (uint64_t{t.fraction} * 1000000u) >> 32;
    std::snprintf(out, size, "%" PRIu32 ".%06" PRIu64, t.seconds, micro);
}

// An interval in seconds with milliseconds, rounded to the nearest.
void IntervalText(NtpTime interval, char* out, size_t size)
{
    const int64_t fixed = NtpToFixed(interval);
    const bool negative = fixed < 0;
    // The magnitude as unsigned, so that the most negative value negates too.
    const uint64_t magnitude = negative ? 0u - static_cast<uint64_t>(fixed) : static_cast<uint64_t>(fixed);
    uint64_t seconds = magnitude >> 32;
    uint64_t ms = ((magnitude & 0xFFFFFFFFu) * 1000u + 0x80000000u) >> 32;
    if (ms == 1000) {
        ++seconds;
        ms = 0;
    }
    std::snprintf(out, size, "%s%" PRIu64 ".%03" PRIu64, negative ? "-" : "", seconds, ms);
}

}  // namespace

void FormatExchangeLine(const ExchangeRecord& r, char* out, size_t size)
{
    uint8_t octets[4];
    std::memcpy(octets, &r.address, sizeof octets);
    char t[4][24] = {};
    TimestampText(r.t1, t[0], sizeof t[0]);
    TimestampText(r.t2, t[1], sizeof t[1]);
    TimestampText(r.t3, t[2], sizeof t[2]);
    char offset[24] = "", delay[24] = "";
    if (r.hasT4) {
        TimestampText(r.t4, t[3], sizeof t[3]);
        //   offset = ((T2 - T1) + (T3 - T4)) / 2
        //   delay  =  (T4 - T1) - (T3 - T2)
        IntervalText(NtpHalve(NtpAdd(NtpSub(r.t2, r.t1), NtpSub(r.t3, r.t4))), offset, sizeof offset);
        IntervalText(NtpSub(NtpSub(r.t4, r.t1), NtpSub(r.t3, r.t2)), delay, sizeof delay);
    }
    char action[64] = "";
    if (r.verdict == Verdict::ClientRequest) {
        std::snprintf(action, sizeof action, "answered");
    } else if (r.verdict == Verdict::Nts) {
        std::snprintf(action, sizeof action, "%s", r.ntsReason);
    } else if (r.verdict == Verdict::Accepted) {
        switch (r.action) {
        case AdjustAction::Set: std::snprintf(action, sizeof action, "set"); break;
        case AdjustAction::NotSet: std::snprintf(action, sizeof action, "not set: limit"); break;
        case AdjustAction::SetFailed:
            std::snprintf(action, sizeof action, "not set: error %" PRIu32, r.error);
            break;
        }
    }
    char verdict[24] = "";
    std::snprintf(verdict, sizeof verdict, "%s%s%.4s", VerdictText(r.verdict),
                  r.verdict == Verdict::Kiss ? " " : "", r.verdict == Verdict::Kiss ? r.kissCode : "");
    std::snprintf(out, size, "%04d-%02d-%02d %02d:%02d:%02d.%02d,%u.%u.%u.%u,%s,%s,%s,%s,%s,%s,%s,%s",
                  static_cast<int>(r.date.da_year), r.date.da_month, r.date.da_day, r.time.ti_hour,
                  r.time.ti_minute, r.time.ti_second, r.time.ti_hundredths, octets[0], octets[1],
                  octets[2], octets[3], t[0], t[1], t[2], t[3], offset, delay, verdict,
                  action);
}

std::string ResolveLogPath(const char* value, const char* folder)
{
    const std::string path = value != nullptr ? value : "";
    const bool drive = path.size() >= 2 && path[1] == ':' &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    if (path.empty() || drive || path[0] == '\\' || path[0] == '/' || folder == nullptr ||
        folder[0] == '\0')
        return path;
    std::string resolved = folder;
    if (resolved.back() != '\\' && resolved.back() != '/')
        resolved += '\\';
    return resolved + path;
}

ExchangeLog::~ExchangeLog()
{
    Close();
}

void ExchangeLog::SetPath(const char* path)
{
    Close();
    path_ = path != nullptr ? path : "";
    failed_ = noted_ = false;
}

void ExchangeLog::Close()
{
    if (file_ != nullptr)
        std::fclose(file_);
    file_ = nullptr;
    size_ = 0;
}

bool ExchangeLog::Open()
{
    file_ = std::fopen(path_.c_str(), "ab");
    if (file_ == nullptr)
        return false;
    std::fseek(file_, 0, SEEK_END);
    size_ = std::ftell(file_);
    if (size_ < 0)
        size_ = 0;
    if (size_ == 0 && std::fprintf(file_, "%s%s", kExchangeLogHeader, kLineEnd) > 0)
        size_ = static_cast<long>(sizeof kExchangeLogHeader - 1 + sizeof kLineEnd - 1);
    return true;
}

bool ExchangeLog::Write(const char* line)
{
    if (!Enabled())
        return true;
    const long length = static_cast<long>(std::strlen(line) + sizeof kLineEnd - 1);
    bool written = file_ != nullptr || Open();
    if (written && size_ > 0 && size_ + length > kRotateBytes) {
        Close();
        written = Rotate() && Open();
    }
    written = written && std::fprintf(file_, "%s%s", line, kLineEnd) > 0 && std::fflush(file_) == 0;
    if (written) {
        size_ += length;
        return true;
    }
    // Closed, so that the next line tries afresh (the disk may have room again).
    Close();
    failed_ = true;
    return false;
}

bool ExchangeLog::Rotate()
{
    // The file moves to a name of its own first: if it cannot move, nothing
    // has been touched, and the previous NAME.old goes only once the file
    // that replaces it is safe under that name. A system whose rename does
    // not replace (Windows) needs the removal; elsewhere it is harmless.
    const std::string old = path_ + ".old";
    const std::string moving = old + ".new";
    std::remove(moving.c_str());
    if (std::rename(path_.c_str(), moving.c_str()) != 0)
        return false;
    std::remove(old.c_str());
    if (std::rename(moving.c_str(), old.c_str()) == 0)
        return true;
    std::rename(moving.c_str(), path_.c_str());
    return false;
}

bool ExchangeLog::TakeFailureNote()
{
    if (!failed_ || noted_)
        return false;
    noted_ = true;
    return true;
}
