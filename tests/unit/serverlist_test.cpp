// Fallback servers: the list as typed, moving on, and the request text.
#include "service/serverlist.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(ServerList, SplitsAtBlanksAndCommas)
{
    using Names = std::vector<std::string>;
    const struct {
        const char* text;
        Names names;
    } cases[] = {
        {"10.0.0.1", {"10.0.0.1"}},
        {"", {""}},                              // empty: one empty name, as before
        {" ", {" "}},                            // one name or none: kept whole
        {" ntp.example ", {" ntp.example "}},
        {"a b", {"a", "b"}},
        {"a,b", {"a", "b"}},
        {"a , ,b,,c", {"a", "b", "c"}},
        {" a\tb ", {"a", "b"}},
        {"10.0.0.1 10.0.0.2,host", {"10.0.0.1", "10.0.0.2", "host"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.names, SplitServerNames(c.text)) << '"' << c.text << '"';
}

// Each step: what happens, and the server current afterwards.
TEST(ServerList, MovesAfterThreeUnansweredRequests)
{
    enum Event { Request, Accepted, LookupFailed, Resolved, Refused, SetTime };
    const struct {
        const char* text;
        std::vector<std::pair<Event, const char*>> steps;
    } cases[] = {
        // The fourth request goes to B; three more unanswered wrap round to A.
        {"A B", {{Request, "A"}, {Request, "A"}, {Request, "A"}, {Request, "B"}, {Request, "B"},
                 {Request, "B"}, {Request, "A"}}},
        // An accepted reply starts the count again.
        {"A B", {{Request, "A"}, {Request, "A"}, {Accepted, "A"}, {Request, "A"}, {Request, "A"},
                 {Request, "A"}, {Request, "B"}}},
        // A lone name never moves.
        {"A", {{Request, "A"}, {Request, "A"}, {Request, "A"}, {Request, "A"}, {LookupFailed, "A"}}},
        // A failed lookup moves at once, until every name has failed in a row.
        {"A B C", {{LookupFailed, "B"}, {LookupFailed, "C"}, {LookupFailed, "C"}, {LookupFailed, "A"}}},
        // A name that gives an address ends the run of failures: an unusable B
        // between spells of a silent A is passed by each time, never the
        // "every name failed" that would stop the list at B.
        {"A B", {{Request, "A"}, {Request, "A"}, {Request, "A"}, {Request, "B"}, {LookupFailed, "A"},
                 {Resolved, "A"}, {Request, "A"}, {Request, "A"}, {Request, "A"}, {Request, "B"},
                 {LookupFailed, "A"}}},
        // After moving, the new server gets its own three requests.
        {"A B", {{LookupFailed, "B"}, {Request, "B"}, {Request, "B"}, {Request, "B"}, {Request, "A"}}},
        // A server that refused us (DENY, RSTR) is passed by from then on,
        // by unanswered requests and failed lookups alike ...
        {"A B C", {{Refused, "B"}, {Request, "B"}, {Request, "B"}, {Request, "B"}, {Request, "C"},
                   {Request, "C"}, {Request, "C"}, {Request, "B"}, {LookupFailed, "C"},
                   {LookupFailed, "B"}}},
        // ... until every one has refused, and Set Time asks them all again.
        {"A B", {{Refused, "B"}, {Refused, "B"}, {Request, "B"}, {SetTime, "B"}, {Request, "B"},
                 {Request, "B"}, {Request, "A"}}},
    };
    for (const auto& c : cases) {
        ServerList list;
        list.Assign(c.text);
        int step = 0;
        for (const auto& [event, expected] : c.steps) {
            switch (event) {
            case Request:
                list.MoveIfDue();
                list.NoteRequestSent();
                break;
            case Accepted: list.NoteAccepted(); break;
            case LookupFailed: list.NoteFailed(); break;
            case Resolved: list.NoteResolved(); break;
            case Refused: list.NoteRefused(); break;
            case SetTime: list.ClearRefusals(); break;
            }
            EXPECT_EQ(expected, list.Current()) << c.text << " step " << step;
            ++step;
        }
    }
}

// Nobody left to ask: a lone server that refused, or a list that all did,
// stays silent until Set Time or a new list.
TEST(ServerList, RefusedByEveryServerAsksNobody)
{
    for (const char* text : {"A", "A B"}) {
        ServerList list;
        list.Assign(text);
        EXPECT_FALSE(list.CurrentRefused()) << text;
        const bool moved = list.NoteRefused();
        EXPECT_EQ(moved, list.InUse()) << text;
        EXPECT_EQ(moved, !list.CurrentRefused()) << text;
        EXPECT_FALSE(list.NoteRefused()) << text;
        EXPECT_TRUE(list.CurrentRefused()) << text;
        list.ClearRefusals();
        EXPECT_FALSE(list.CurrentRefused()) << text;
        list.NoteRefused();
        list.NoteRefused();
        list.Assign(text);
        EXPECT_FALSE(list.CurrentRefused()) << text;
    }
}

TEST(ServerList, RequestTextNamesTheServerOnlyForAList)
{
    const char time[] = "Tue Dec 08 09:21:43 2026";
    const std::string longName(79, 'n');
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"10.0.0.1", "NTP Request sent - Tue Dec 08 09:21:43 2026"},
        {"a.example b.example", "NTP Request sent to a.example - Tue Dec 08 09:21:43 2026"},
    };
    for (const auto& c : cases) {
        ServerList list;
        list.Assign(c.text);
        char out[80];
        FormatRequestText(out, sizeof out, list, time);
        EXPECT_STREQ(c.expected, out);
    }
    // A name as long as the field: cut, and the time still shown whole.
    ServerList list;
    list.Assign((longName + " b").c_str());
    char out[80];
    FormatRequestText(out, sizeof out, list, time);
    EXPECT_EQ(79u, std::strlen(out));
    EXPECT_EQ(std::string(" - ") + time, std::string(out).substr(79 - 3 - std::strlen(time)));
}

}  // namespace
