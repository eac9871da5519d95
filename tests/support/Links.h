// tests/support/Links.h
#pragma once
#include <string>

// A link at `link` to the folder or file `target`: a Windows symbolic link where the platform
// makes one; under Wine, whose CreateSymbolicLinkW creates nothing, a Unix link made with ln.
// False when neither works.
bool MakeLink(const std::wstring& link, const std::wstring& target, bool folder);
// Removes such a link itself (never what it points to).
void RemoveLink(const std::wstring& link);
