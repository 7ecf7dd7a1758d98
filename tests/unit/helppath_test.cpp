// The help file's path beside the running program.
#include "ui/helppath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(HelpPath, BesideTheProgram)
{
    const struct {
        const char* module;
        size_t size;
        const char* path;
    } cases[] = {
        {"C:\\Program Files\\Kestrin\\kestrin.exe", 260, "C:\\Program Files\\Kestrin\\kestrin.hlp"},
        {"Z:\\work\\main\\build\\ui\\KESTRIN.EXE", 260, "Z:\\work\\main\\build\\ui\\kestrin.hlp"},
        {"C:/mixed/dir\\k.exe", 260, "C:/mixed/dir\\kestrin.hlp"},
        {"C:kestrin.exe", 260, "C:kestrin.hlp"},
        {"kestrin.exe", 260, "kestrin.hlp"},
        {"", 260, "kestrin.hlp"},
        {nullptr, 260, "kestrin.hlp"},
        // Too long for the buffer: the bare name rather than a cut path.
        {"C:\\a\\very\\long\\folder\\kestrin.exe", 20, "kestrin.hlp"},
        {"C:\\d\\kestrin.exe", 17, "C:\\d\\kestrin.hlp"},
        {"C:\\d\\kestrin.exe", 16, "kestrin.hlp"},
        {"C:\\d\\kestrin.exe", 5, ""},
    };
    for (const auto& c : cases) {
        char out[300];
        std::fill(std::begin(out), std::end(out), 'x');
        HelpPathBeside(c.module, out, c.size);
        EXPECT_STREQ(c.path, out) << (c.module ? c.module : "(null)") << " " << c.size;
        EXPECT_EQ('x', out[c.size]) << "wrote past the buffer";
    }
}

}  // namespace
