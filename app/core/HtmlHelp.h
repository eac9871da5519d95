// app/core/HtmlHelp.h
#pragma once
#include <windows.h>

// Opens InstallDir + "Torvane.chm" at its default topic; returns the help window (nullptr when it
// could not be opened).
HWND OpenHelp(HWND owner);
// Closes every help window of the program.
void CloseAllHelp();
