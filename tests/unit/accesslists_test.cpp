// The access lists of the service's pipe and folders and the installer's
// icacls steps: read as Windows reads them, and checked against who may
// do what, and against each other (the installer's list and the one the
// service gives a folder it makes again).
#include "ntservice/accesslists.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Access rights as the file system and pipes map them.
constexpr uint32_t kReadData = 0x1, kWriteData = 0x2, kCreateInstance = 0x4;  // = append
constexpr uint32_t kDelete = 0x10000, kWriteDac = 0x40000, kWriteOwner = 0x80000;
constexpr uint32_t kFileAll = 0x1f01ff;
constexpr uint32_t kWriteAny = kWriteData | kCreateInstance | kDelete | kWriteDac | kWriteOwner;

struct Ace {
    char type;  // 'A' allow, 'D' deny
    std::string flags;
    uint32_t mask;
};

// "GA", "FA" or a hex mask, as SDDL writes rights.
uint32_t SddlRights(const std::string& text)
{
    if (text == "GA" || text == "FA")
        return kFileAll;
    if (text.rfind("0x", 0) == 0)
        return static_cast<uint32_t>(std::stoul(text, nullptr, 16));
    ADD_FAILURE() << "rights this test does not read: " << text;
    return 0xffffffffu;  // generic letters: taken as everything
}

// "D:P(type;flags;rights;;;sid)..." by SID alias; protected set when "P".
std::map<std::string, Ace> ReadSddl(const std::string& sddl, bool* protectedList)
{
    std::map<std::string, Ace> aces;
    *protectedList = sddl.rfind("D:P(", 0) == 0;
    size_t at = sddl.find('(');
    while (at != std::string::npos) {
        const size_t end = sddl.find(')', at);
        std::vector<std::string> parts;
        std::stringstream fields(sddl.substr(at + 1, end - at - 1));
        for (std::string part; std::getline(fields, part, ';');)
            parts.push_back(part);
        EXPECT_EQ(parts.size(), 6u) << sddl;
        if (parts.size() == 6)
            aces[parts[5]] = Ace{parts[0][0], parts[1], SddlRights(parts[2])};
        at = sddl.find('(', end);
    }
    return aces;
}

// icacls "/inheritance:r /grant:r *SID:(OI)(CI)R ..." as the same map.
std::map<std::string, Ace> ReadGrants(const std::string& step)
{
    const std::map<std::string, std::string> aliases = {
        {"S-1-5-32-544", "BA"}, {"S-1-5-18", "SY"}, {"S-1-5-19", "LS"}, {"S-1-5-32-545", "BU"}};
    const std::map<std::string, uint32_t> rights = {
        {"F", kFileAll}, {"M", 0x1301bf}, {"RX", 0x1200a9}};
    std::map<std::string, Ace> aces;
    std::stringstream words(step);
    for (std::string word; words >> word;) {
        if (word[0] != '*')
            continue;
        const size_t colon = word.find(':');
        std::string sid = word.substr(1, colon - 1), rest = word.substr(colon + 1), flags;
        while (rest.rfind("(OI)", 0) == 0 || rest.rfind("(CI)", 0) == 0) {
            flags += rest.substr(1, 2);
            rest = rest.substr(4);
        }
        EXPECT_TRUE(aliases.count(sid)) << word;
        // The rights as letters, bare or in parentheses.
        const std::string right =
            rest.size() > 2 && rest[0] == '(' ? rest.substr(1, rest.size() - 2) : rest;
        EXPECT_TRUE(rights.count(right)) << word;
        if (aliases.count(sid) && rights.count(right))
            aces[aliases.at(sid)] = Ace{'A', flags, rights.at(right)};
    }
    return aces;
}

bool Has(const std::string& step, const std::string& word)
{
    return (" " + step + " ").find(" " + word + " ") != std::string::npos;
}

TEST(AccessLists, ThePipeLetsUsersTalkButNotServe)
{
    bool isProtected = false;
    const std::map<std::string, Ace> pipe = ReadSddl(kPipeSddl, &isProtected);
    EXPECT_TRUE(isProtected);
    struct Case {
        const char* sid;
        char type;
        uint32_t mustHave, mustLack;
    } cases[] = {
        {"NU", 'D', kFileAll, 0},  // the network: refused, first
        {"IU", 'A', kReadData | kWriteData, kCreateInstance | kWriteDac | kWriteOwner | kDelete},
        {"BA", 'A', kFileAll, 0},
        {"SY", 'A', kFileAll, 0},
        {"LS", 'A', kFileAll, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sid);
        ASSERT_TRUE(pipe.count(c.sid));
        const Ace& ace = pipe.at(c.sid);
        EXPECT_EQ(ace.type, c.type);
        EXPECT_EQ(ace.mask & c.mustHave, c.mustHave);
        EXPECT_EQ(ace.mask & c.mustLack, 0u);
    }
    EXPECT_EQ(pipe.size(), 5u);  // nobody else
    EXPECT_EQ(std::string(kPipeSddl).find("(D;;GA;;;NU)"), 3u);  // the deny before any allow
}

TEST(AccessLists, TheInstallersFolderListIsTheServices)
{
    bool isProtected = false;
    const std::map<std::string, Ace> service = ReadSddl(kSettingsFolderSddl, &isProtected);
    EXPECT_TRUE(isProtected);
    const std::map<std::string, Ace> installer = ReadGrants(kIcaclsLockSettings);
    ASSERT_EQ(service.size(), installer.size());
    for (const auto& [sid, ace] : service) {
        SCOPED_TRACE(sid);
        ASSERT_TRUE(installer.count(sid));
        EXPECT_EQ(installer.at(sid).mask, ace.mask);
        EXPECT_EQ(installer.at(sid).flags, ace.flags);
        EXPECT_EQ(ace.flags, "OICI");  // every file inside gets it too
    }
}

TEST(AccessLists, OnlyTheTrustedWrite)
{
    struct Case {
        const char* name;
        std::map<std::string, Ace> aces;
        std::vector<std::string> writers;
    } cases[] = {
        {"settings folder", ReadGrants(kIcaclsLockSettings), {"BA", "SY", "LS"}},
        {"install folder", ReadGrants(kIcaclsLockInstall), {"BA", "SY"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.aces.count("BU"));  // users read and run
        for (const auto& [sid, ace] : c.aces) {
            bool writer = false;
            for (const std::string& w : c.writers)
                writer = writer || w == sid;
            if (!writer) {
                EXPECT_EQ(ace.mask & kWriteAny, 0u) << sid;
            }
            // Only the administrators and the system may change the list.
            if (sid != "BA" && sid != "SY") {
                EXPECT_EQ(ace.mask & (kWriteDac | kWriteOwner), 0u) << sid;
            }
        }
    }
}

TEST(AccessLists, TheStepsTakeTheFolderAndAllInIt)
{
    struct Case {
        const char* name;
        const char* step;
        std::vector<std::string> words;
    } cases[] = {
        // Whoever made the folder or a file in it loses the owner's rights.
        {"owner", kIcaclsTakeOwner, {"/setowner", "*S-1-5-32-544", "/T"}},
        // Every entry of theirs is gone, in the folder and below it.
        {"reset", kIcaclsReset, {"/reset", "/T"}},
        // Nothing from the folder above; the named entries replace theirs.
        {"settings", kIcaclsLockSettings, {"/inheritance:r", "/grant:r"}},
        {"install", kIcaclsLockInstall, {"/inheritance:r", "/grant:r"}},
    };
    for (const Case& c : cases)
        for (const std::string& word : c.words)
            EXPECT_TRUE(Has(c.step, word)) << c.name << " lacks " << word;
    // /C would carry on past a failure, which the installer must see.
    for (const char* step :
         {kIcaclsTakeOwner, kIcaclsReset, kIcaclsLockSettings, kIcaclsLockInstall})
        EXPECT_FALSE(Has(step, "/C")) << step;
}

}  // namespace
