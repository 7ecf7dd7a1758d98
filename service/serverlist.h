// The servers the user named, in the order given, and which one is asked
// now: the next one after three requests in a row without an accepted reply,
// or at once when the current one cannot be used.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Splits text at blanks and commas (a run of them counts as one). A text that
// holds fewer than two names is kept whole, blanks and all, so a single name
// goes exactly the way it always went (an empty text included).
std::vector<std::string> SplitServerNames(const char* text);

class ServerList {
public:
    // Requests in a row without an accepted reply before the next server.
    static constexpr int kUnansweredLimit = 3;

    // Takes the names of text (SplitServerNames); the first is current.
    void Assign(const char* text);
    // More than one name: fallbacks are in use and the status names the server.
    bool InUse() const { return names_.size() > 1; }
    const std::string& Current() const { return names_[index_]; }

    // Before each request. Returns true when it is to go to the next
    // server, which is then current (a lone name never moves).
    bool MoveIfDue();
    // A request went to the current server.
    void NoteRequestSent() { ++unanswered_; }
    // An accepted reply: the current server answers.
    void NoteAccepted();
    // The current name gave an address (a lookup or a dotted address).
    void NoteResolved() { failedNames_ = 0; }
    // The current name cannot be used: its lookup failed or could not start,
    // or it is a dotted address that does not parse. Returns true and moves
    // to the next name, or false (staying) once every name has failed in a
    // row; a lone name never moves.
    bool NoteFailed();
    // The current server refused us (a kiss code): it is skipped from now
    // on. Returns true and moves to the next server that has not refused,
    // or false when none is left (a lone name: always false).
    bool NoteRefused();
    // Every server may be asked again (Set Time).
    void ClearRefusals() { refused_.assign(names_.size(), 0); }
    // The current server refused us and no other is left: ask nobody.
    bool CurrentRefused() const { return refused_[index_] != 0; }

private:
    // To the next server that has not refused; stays when all have.
    void Advance();

    std::vector<std::string> names_{std::string()};
    size_t index_ = 0;
    int unanswered_ = 0;     // requests since the last accepted reply
    size_t failedNames_ = 0;  // names failed in a row
    std::vector<char> refused_ = std::vector<char>(1, 0);  // per name: 1 once it refused us
};

// The request status text: "NTP Request sent - %s" for a lone server, and
// "NTP Request sent to NAME - %s" when fallbacks are in use, the name cut so
// that the time always fits in size bytes (size of the status buffer).
void FormatRequestText(char* out, size_t size, const ServerList& servers, const char* timeText);
