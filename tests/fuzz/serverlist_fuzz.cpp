// Fuzz target: the server field's text through the split into names, the
// moves between them and the request text that names the current one.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "service/serverlist.h"

namespace {

void Require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}

bool IsSeparator(char c)
{
    return c == ' ' || c == ',' || c == '\t';
}

// Two or more names: none empty, none holding a separator, and together,
// in order, the text without its separators. Fewer: the text whole.
void CheckSplit(const std::string& text, const std::vector<std::string>& names)
{
    Require(!names.empty(), "at least one name");
    if (names.size() < 2) {
        Require(names[0] == text, "a lone name is kept whole");
        return;
    }
    std::string joined, bare;
    for (const std::string& n : names) {
        Require(!n.empty(), "no empty name in a list");
        for (char c : n)
            Require(!IsSeparator(c), "no separator inside a name");
        joined += n;
    }
    for (char c : text)
        if (!IsSeparator(c))
            bare += c;
    Require(joined == bare, "the names are the text without separators");
}

// The request text in an exact-size buffer: terminated within it and, in
// the status line's 80 bytes, ending with the whole time text.
void CheckRequestText(const ServerList& list, const char* timeText)
{
    for (size_t size : {size_t{1}, size_t{20}, size_t{47}, size_t{80}}) {
        std::unique_ptr<char[]> out(new char[size]);
        FormatRequestText(out.get(), size, list, timeText);
        Require(std::memchr(out.get(), '\0', size) != nullptr, "request text terminated");
        if (size != 80)
            continue;
        const std::string text = out.get();
        const std::string tail = std::string(" - ") + timeText;
        Require(text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0,
                "the time is shown whole");
        Require(text.rfind(list.InUse() ? "NTP Request sent to " : "NTP Request sent - ", 0) == 0,
                "request text head");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The text up to the first NUL is the server field; each byte after it
    // is one event of the service.
    const char* bytes = reinterpret_cast<const char*>(data);
    const size_t textLength = strnlen(bytes, size);
    const std::string text(bytes, textLength);
    const std::vector<std::string> names = SplitServerNames(text.c_str());
    CheckSplit(text, names);

    ServerList list;
    list.Assign(text.c_str());
    Require(list.InUse() == (names.size() > 1), "a list only with two names or more");
    size_t index = 0;  // of the current name
    int unanswered = 0;
    size_t failedNames = 0;
    static const char kTime[] = "Tue Dec 08 09:21:43 2026";
    for (size_t i = textLength + 1; i < size; ++i) {
        switch (data[i] % 4) {
        case 0: {
            const bool moved = list.MoveIfDue();
            Require(moved == (list.InUse() && unanswered >= ServerList::kUnansweredLimit),
                    "a move after the unanswered limit only");
            if (moved) {
                index = (index + 1) % names.size();
                unanswered = 0;
            }
            list.NoteRequestSent();
            ++unanswered;
            CheckRequestText(list, kTime);
            break;
        }
        case 1:
            list.NoteAccepted();
            unanswered = 0;
            failedNames = 0;
            break;
        case 2:
            list.NoteResolved();
            failedNames = 0;
            break;
        case 3: {
            const bool moved = list.NoteFailed();
            ++failedNames;
            Require(moved == (list.InUse() && failedNames < names.size()),
                    "a failed name moves until every name has failed");
            if (moved) {
                index = (index + 1) % names.size();
                unanswered = 0;
            } else {
                failedNames = 0;
            }
            break;
        }
        }
        Require(list.Current() == names[index], "the current name is the one moved to");
    }
    return 0;
}
