// app/core/HtmlHelp.h
#pragma once
#include <windows.h>

// Opens InstallDir + "Torvane.chm" at its default topic, or at the page given ("html/optionen.html");
// returns the help window (nullptr when it could not be opened).
HWND OpenHelp(HWND owner, const wchar_t* topic = nullptr);
// Closes every help window of the program.
void CloseAllHelp();
