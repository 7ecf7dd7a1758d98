// The servers the user named and which one is asked now.
#include "service/serverlist.h"

#include <cstdio>
#include <cstring>

namespace {

bool IsSeparator(char c)
{
    return c == ' ' || c == ',' || c == '\t';
}

}  // namespace

std::vector<std::string> SplitServerNames(const char* text)
{
    if (text == nullptr)
        text = "";
    std::vector<std::string> names;
    const char* p = text;
    while (*p != '\0') {
        while (IsSeparator(*p))
            ++p;
        const char* start = p;
        while (*p != '\0' && !IsSeparator(*p))
            ++p;
        if (p != start)
            names.emplace_back(start, static_cast<size_t>(p - start));
    }
    if (names.size() < 2)
        return {std::string(text)};
    return names;
}

void ServerList::Assign(const char* text)
{
    names_ = SplitServerNames(text);
    ClearRefusals();
    index_ = 0;
    unanswered_ = 0;
    failedNames_ = 0;
}

void ServerList::Advance()
{
    for (size_t tried = 0; tried < names_.size(); ++tried) {
        index_ = (index_ + 1) % names_.size();
        if (!refused_[index_])
            break;
    }
    unanswered_ = 0;
}

bool ServerList::NoteRefused()
{
    refused_[index_] = 1;
    if (!InUse())
        return false;
    Advance();
    return !refused_[index_];
}

bool ServerList::MoveIfDue()
{
    if (!InUse() || unanswered_ < kUnansweredLimit)
        return false;
    Advance();
    return true;
}

void ServerList::NoteAccepted()
{
    unanswered_ = 0;
    failedNames_ = 0;
}

bool ServerList::NoteFailed()
{
    if (!InUse() || ++failedNames_ >= names_.size()) {
        failedNames_ = 0;
        return false;
    }
    Advance();
    return true;
}

void FormatRequestText(char* out, size_t size, const ServerList& servers, const char* timeText)
{
    if (!servers.InUse()) {
        std::snprintf(out, size, "NTP Request sent - %s", timeText);
        return;
    }
    static const char kHead[] = "NTP Request sent to ";
    static const char kDash[] = " - ";
    const size_t fixed = (sizeof kHead - 1) + (sizeof kDash - 1) + std::strlen(timeText) + 1;
    const size_t room = size > fixed ? size - fixed : 0;
    const std::string& name = servers.Current();
    std::snprintf(out, size, "%s%.*s%s%s", kHead, static_cast<int>(name.size() < room ? name.size() : room),
                  name.c_str(), kDash, timeText);
}
