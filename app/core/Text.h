// app/core/Text.h
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Conversions between UTF-16 and the ANSI code page / UTF-8, only for file formats that need them.
std::string ToAnsi(std::wstring_view s);
std::wstring FromAnsi(std::string_view s);
std::string ToUtf8(std::wstring_view s);
std::wstring FromUtf8(std::string_view s);

// Appends a backslash unless the text already ends with one (empty text stays empty).
std::wstring WithBackslash(std::wstring folder);
std::wstring ToLower(std::wstring s);
std::wstring Trim(std::wstring_view s);
bool StartsWith(std::wstring_view s, std::wstring_view prefix);
bool EndsWith(std::wstring_view s, std::wstring_view suffix);

// Text to a 16-bit signed integer as the settings store and the option fields need it:
// leading/trailing blanks allowed; anything else raises 13, out of range raises 6.
int16_t ToInt16(const std::wstring& text);
// The same for another range of whole numbers.
int ToIntInRange(const std::wstring& text, int min, int max);
