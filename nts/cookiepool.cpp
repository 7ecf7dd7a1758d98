// The cookie pool: oldest first, taken once.
#include "nts/cookiepool.h"

#include <cstring>

void CookiePool::Add(const KeCookie& cookie)
{
    if (cookie.size == 0 || cookie.size > kMaxCookieBytes)
        return;
    if (count_ == kMaxCookies) {
        std::memmove(cookies_, cookies_ + 1, (kMaxCookies - 1) * sizeof cookies_[0]);
        --count_;
    }
    cookies_[count_++] = cookie;
}

bool CookiePool::Take(KeCookie* out)
{
    if (count_ == 0)
        return false;
    *out = cookies_[0];
    --count_;
    std::memmove(cookies_, cookies_ + 1, count_ * sizeof cookies_[0]);
    // No copy of a cookie handed out stays behind.
    std::memset(&cookies_[count_], 0, sizeof cookies_[0]);
    return true;
}
