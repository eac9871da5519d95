// app/core/HtmlHelp.h
#pragma once
#include <windows.h>
#include <functional>
#include <string>

// The help: Torvane.chm in InstallDir, and the same pages in InstallDir + "html\" for the system's
// browser. A page is named by its file name ("optionen.html").

// Opens the help at a page (nullptr: its start page) for the window `owner`: in the help viewer,
// or, where the viewer cannot show pages or Windows blocks the help file, in the system's browser.
// Raises 10002 when neither can.
void OpenHelp(HWND owner, const wchar_t* page = nullptr);
// Whether the help viewer can show pages: the system can make the HTML engine it draws them
// with (under Wine that engine is a package of its own, which may be missing or switched off).
bool HelpViewerCanRender();
// Whether the help viewer would open the file and refuse to show it: a file that carries the mark
// of a download from another zone (its "Zone.Identifier"), or one on a network share or network
// drive, which the viewer only shows from this computer unless an administrator allowed more.
bool HelpFileBlocked(const std::wstring& file);
// Shows "<file>::/html/<page>" (or the file) in the help viewer; false when it could not. Tests
// replace it.
std::function<bool(HWND, const std::wstring&)>& HelpViewerAction();
// Closes every help window of the program.
void CloseAllHelp();
