// The program's printf-style formatter, checked against the C library's
// vsnprintf (glibc natively, mingw-w64's under Wine) as the reference.
#include "runtime/textfmt.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

// Some rows give flags that C says are ignored beside others (' ' beside
// '+', '0' beside a precision): that they are ignored is what they check.
#pragma GCC diagnostic ignored "-Wformat"

namespace {

std::string Ours(std::size_t size, int* length, const char* format, ...)
{
    std::string out(size + 1, '#');  // one guard byte past what it may touch
    va_list args;
    va_start(args, format);
    *length = FormatText(size != 0 ? &out[0] : nullptr, size, format, args);
    va_end(args);
    EXPECT_EQ(out[size], '#') << "wrote past the buffer for \"" << format << '"';
    return out.substr(0, size != 0 ? out.find('\0') : 0);
}

// Formats with both into buffers of 64 and 5 bytes and compares text and length.
__attribute__((format(printf, 1, 2))) void Same(const char* format, ...)
{
    for (std::size_t size : {std::size_t{64}, std::size_t{5}}) {
        char want[64];
        char ours[65];
        ours[size] = '#';
        va_list args, again;
        va_start(args, format);
        va_copy(again, args);
        const int wantLength = std::vsnprintf(want, size, format, args);
        const int ourLength = FormatText(ours, size, format, again);
        va_end(again);
        va_end(args);
        EXPECT_STREQ(ours, want) << "format \"" << format << "\", " << size << " bytes";
        EXPECT_EQ(ourLength, wantLength) << "format \"" << format << '"';
        EXPECT_EQ(ours[size], '#') << "format \"" << format << '"';
    }
}

TEST(TextFormat, IntegersAsTheLibraryWritesThem)
{
    Same("%d %i %u %x %X %o", 0, -1, 4000000000u, 0xbeefu, 0xbeefu, 8u);
    Same("[%5d] [%-5d] [%05d] [%+d] [% d] [%+ d] [% +d]", 42, 42, -42, 42, 42, 42, -42);
    Same("[%.3d] [%.0d] [%.0d] [%8.3d] [%-8.3d] [%08.3d] [%.d]", 7, 0, 5, -7, 7, 7, 0);
    Same("[%#x] [%#X] [%#x] [%#o] [%#o] [%#.3o] [%#08x]", 255u, 255u, 0u, 8u, 0u, 8u, 255u);
    Same("[%*d] [%-*d] [%*d] [%.*d] [%.*d]", 6, 1, 6, 2, -6, 3, 4, 5, -1, 6);
    Same("%d %d %ld %ld", INT_MIN, INT_MAX, LONG_MIN, LONG_MAX);
    Same("%lld %lld %llu %llx", LLONG_MIN, LLONG_MAX, ULLONG_MAX, ULLONG_MAX);
    Same("%hhd %hhu %hd %hu", 300, -1, 70000, -1);
    Same("%zu %zd %jd %ju %td %tu", SIZE_MAX, static_cast<std::ptrdiff_t>(-5), INTMAX_MIN, UINTMAX_MAX,
         static_cast<std::ptrdiff_t>(-9), SIZE_MAX);
    Same("%" PRIu32 ".%06" PRIu64 " %" PRId64 " %03" PRIu64, UINT32_MAX, UINT64_C(1234), INT64_MIN, UINT64_C(7));
    Same("%02d:%02d:%02d %4d %08lx", 3, 4, 59, 1999, 0x409e4ul);
}

TEST(TextFormat, TextAndCharactersAsTheLibraryWritesThem)
{
    Same("[%s] [%10s] [%-10s] [%.2s] [%.*s] [%3.3s] [%.0s]", "abc", "abc", "abc", "abc", 4, "abcdefg", "Wednesday",
         "x");
    Same("[%c] [%3c] [%-3c] [%c%c] 100%% ", 'a', 'b', 'c', 0xe9, '!');
    Same("%s%s", "", "a text much longer than either buffer it is formatted into, cut off where it ends");
    Same("no conversion%s", "");
    // A null pointer prints as "(null)", cut by the precision as any text is.
    int length = 0;
    EXPECT_EQ(Ours(32, &length, "[%s] [%.3s]", static_cast<const char*>(nullptr), static_cast<const char*>(nullptr)),
              "[(null)] [(nu]");
}

TEST(TextFormat, CutsToTheBufferAndSaysTheWholeLength)
{
    struct Case {
        std::size_t size;
        const char* want;
    };
    const Case cases[] = {{0, ""}, {1, ""}, {2, "1"}, {6, "12345"}, {7, "123456"}, {8, "123456"}};
    for (const Case& c : cases) {
        int length = 0;
        EXPECT_EQ(Ours(c.size, &length, "%d%s", 123, "456"), c.want) << c.size << " bytes";
        EXPECT_EQ(length, 6) << c.size << " bytes";
    }
}

// Conversions it does not format are written as they stand, and their
// arguments skipped, so that the arguments after them still come out right.
TEST(TextFormat, UnformattedConversionsKeepLaterArgumentsInPlace)
{
    int length = 0;
    int count = 0;
    EXPECT_EQ(Ours(64, &length, "%d %.3f %Lg %n %d", 1, 2.5, 3.0L, &count, 4), "1 %.3f %Lg %n 4");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Ours(64, &length, "tail %5"), "tail %5");
    EXPECT_EQ(Ours(64, &length, "tail %"), "tail %");
}

int ToFile(std::FILE* file, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int written = FormatFile(file, format, args);
    va_end(args);
    return written;
}

TEST(TextFormat, FileGetsEveryCharacterPastTheStage)
{
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    // Longer than the 256-byte stage the file's text passes through.
    const std::string line(700, 'k');
    const std::string want = "[" + line + "] 17 -3   x\n";
    const int written = ToFile(file, "[%s] %d %d %3s\n", line.c_str(), 17, -3, "x");
    EXPECT_EQ(written, static_cast<int>(want.size()));
    std::rewind(file);
    std::string got(want.size() + 8, '\0');
    got.resize(std::fread(&got[0], 1, got.size(), file));
    EXPECT_EQ(got, want);
    std::fclose(file);
}

}  // namespace
