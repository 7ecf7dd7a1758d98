// Reading one decimal number from the start of a text, the way "%d" reads it.
#pragma once

#include <cstdint>

// What reading a number from the start of a text found.
enum class NumberText {
    Number,    // a number was converted; text after it is ignored
    NoNumber,  // the text (after leading blanks) does not start with a number
    Blank,     // the text is empty or holds only blanks: nothing to convert
};

// Reads one signed decimal number the way "%d" does: leading blanks
// (space, tab, newline, vertical tab, form feed, return) skipped, an optional
// '+' or '-', then at least one digit; digits are consumed up to the first
// other character. A number outside the signed 32-bit range counts as
// NoNumber, so an overflowing value never yields a half-understood number.
// *value is written only for Number; *rest (if given) is set to the first
// character after the number, else to text. text may be null (Blank).
NumberText ScanNumberText(const char* text, int32_t* value, const char** rest = nullptr);
