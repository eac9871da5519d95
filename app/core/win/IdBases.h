// app/core/win/IdBases.h
// Resource and control id ranges, one per window, so the joined resource script never collides.
#pragma once
#define IDB_BASE_SHARED       100   // icons and bitmaps shared by several windows (100-199)
#define IDI_PROGRAM           100   // the program icon: main window, child windows, tray
#define IDB_BASE_frmMDI      1000   // 1000-1199, menu commands included
#define IDB_BASE_frmError    1200
#define IDB_BASE_frmLogin    1250
#define IDB_BASE_frmRegScan  1300
#define IDB_BASE_frmBackup   1400
#define IDB_BASE_frmInstalledPrograms 1500
#define IDB_BASE_frmHDD      1600
#define IDB_BASE_frmOffice   1700
#define IDB_BASE_frmExtraScan 1800
#define IDB_BASE_frmAutorunNew 1900
#define IDB_BASE_frmBugReport 2000
#define IDB_BASE_frmOptionen 2100
#define IDB_BASE_fennick     2200
#define IDB_BASE_frmAusnahmen 2300  // 2300-2349
