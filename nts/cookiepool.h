// The cookies of one NTS association: at most eight, each sent once.
#pragma once

#include <cstddef>

#include "nts/ntske.h"

class CookiePool {
public:
    // Forgets every cookie (a new key exchange brings new ones).
    void Clear() { count_ = 0; }
    // Keeps a copy of cookie; with the pool full the oldest is dropped.
    void Add(const KeCookie& cookie);
    // Moves the oldest cookie to *out; false when the pool is empty. A
    // cookie taken is gone, so none is ever sent twice.
    bool Take(KeCookie* out);
    size_t Count() const { return count_; }
    // Placeholders a request sends after a Take so that the reply's cookies
    // (one for the cookie sent, one per placeholder) fill the pool again.
    size_t PlaceholdersWanted() const { return count_ + 1 >= kMaxCookies ? 0 : kMaxCookies - 1 - count_; }

private:
    KeCookie cookies_[kMaxCookies];
    size_t count_ = 0;  // cookies_[0] the oldest
};
