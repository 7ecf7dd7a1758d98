// printf-style formatting of integers, characters and strings: the part of
// printf the program uses, in a few hundred bytes of code.
//
// Understood: flags "-0+ #", a width and a precision (digits or '*'), the
// lengths hh h l ll j z t L, and the conversions d i u o x X c s p %. A
// string given as a null pointer prints "(null)". Floating-point and other
// conversions are not formatted: the conversion is written as it stands in
// the format and its argument is skipped, so that the arguments after it
// keep their places.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

// As vsnprintf: writes at most size - 1 characters and a NUL (nothing when
// size is 0, when out may be null), and returns the length the whole text
// has, however much of it fitted.
int FormatText(char* out, std::size_t size, const char* format, std::va_list args);

// As vfprintf: returns the number of characters written, or -1 when the file
// took fewer than it was given.
int FormatFile(std::FILE* file, const char* format, std::va_list args);
