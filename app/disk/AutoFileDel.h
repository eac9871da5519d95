// app/disk/AutoFileDel.h
#pragma once
#include <functional>
#include <string>

// Told the text of a file that stays although it is old enough (hidden or read-only: the user's
// marks that it is to stay); the window shows it, the caller decides how.
using KeptNotice = std::function<void(const std::wstring& text)>;

// Start-up ageing of undo files: deletes the files of the backup folder that are older than
// "DelAfterDays" calendar days; each failure is logged.
void DeleteAgedUndoFiles(const KeptNotice& tell);
