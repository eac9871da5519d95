// app/core/WindowNo.h
#pragma once

// Window numbers, as CloseWindow takes them. Each window class names its own as kWindowNo.
namespace WindowNo {
constexpr int MDI = 0, RegScan = 1, AutorunNew = 2, Backup = 3, BugReport = 4, Error = 5, ExtraScan = 6, HDD = 7,
              InstalledPrograms = 8, Login = 9, Office = 10, Optionen = 11, PopUp = 12, Ausnahmen = 13,
              All = 99;
}
