// tests/support/Links.h
#pragma once
#include <string>

// A link at `link` to the folder or file `target`: a Windows symbolic link where the platform
// makes one; under Wine, whose CreateSymbolicLinkW creates nothing, a Unix link made with ln.
// False when neither works.
bool MakeLink(const std::wstring& link, const std::wstring& target, bool folder);
// Removes such a link itself (never what it points to).
void RemoveLink(const std::wstring& link);
// Under Wine: runs a Unix command and waits until `path` exists (or is gone), as Wine cannot wait
// for a Unix process. False when the command could not start or the effect did not come.
bool RunUnix(std::wstring cmd, const std::wstring& path, bool shouldExist);
bool WineRunsUnix();
