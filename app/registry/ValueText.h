// app/registry/ValueText.h
#pragma once
#include <windows.h>
#include <cstddef>
#include <string>

// How a list shows a value's data, the way the registry editor does:
//   REG_SZ, REG_EXPAND_SZ  the text up to its first zero, placeholders not expanded
//   REG_MULTI_SZ           the strings joined with " | "
//   REG_DWORD, REG_QWORD   "0x00000102 (258)", QWORD with 16 hex digits (big-endian DWORD likewise)
//   no data at all         "" (a key's absent default value too: the rows say why they are listed)
//   everything else        the bytes in lower-case hex separated by blanks, cut after
//                          kDisplayBytes bytes with " …"
// A DWORD or QWORD of the wrong size is shown as its bytes.
std::wstring ValueDisplayText(DWORD type, const BYTE* data, size_t bytes);

// Bytes shown of binary data before the text is cut.
constexpr size_t kDisplayBytes = 64;
// Whether the type holds one text (whose data the search reads as text).
inline bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }
