// app/core/DoEvents.h
#pragma once
#include <windows.h>

// Processes the window messages that are waiting (one round), dialog keys included.
void DoEvents();
// The same, but at most every few milliseconds: for long loops that call it per item.
void DoEventsIfDue();
// Hands a message to the modeless dialog it belongs to; true when the dialog took it.
bool RouteDialogMessage(MSG& msg);
// Modeless dialogs whose keyboard navigation the message loops serve.
void RegisterModeless(HWND dialog);
void UnregisterModeless(HWND dialog);
// Accelerators and MDI keys of the main window, set by the frame.
void SetMainWindowKeys(HWND frame, HWND mdiClient, HACCEL accelerators);
// True when the message was a key of the main window.
bool RouteMainWindowKeys(MSG& msg);
