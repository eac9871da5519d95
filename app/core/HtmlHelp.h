// app/core/HtmlHelp.h
#pragma once
#include <windows.h>

// The help: Torvane.chm in InstallDir, and the same pages in InstallDir + "html\" for the system's
// browser. A page is named by its file name ("optionen.html").

// Opens the help at a page (nullptr: its start page) for the window `owner`: in the help viewer,
// or, where the viewer cannot show pages, in the system's browser. Raises 10002 when neither can.
void OpenHelp(HWND owner, const wchar_t* page = nullptr);
// Whether the help viewer can show pages: the system can make the HTML engine it draws them
// with (under Wine that engine is a package of its own, which may be missing or switched off).
bool HelpViewerCanRender();
// Closes every help window of the program.
void CloseAllHelp();
