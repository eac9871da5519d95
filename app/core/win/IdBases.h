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
#define IDB_BASE_extrasAutorun 2350 // extras window pages, 50 each
#define IDB_BASE_extrasHistory 2400
#define IDB_BASE_extrasFileTypes 2450
#define IDB_BASE_extrasDefrag  2500
#define IDB_BASE_assistant     2550 // the assistant character's window
#define IDB_BASE_frmHDDFolder  2600 // disk cleanup: folder dialog
#define IDB_BASE_frmHDDWait    2650 // disk cleanup: wait dialog
#define IDB_BASE_officeExtra   2700 // Office window's further dialogs
#define IDB_BASE_internetExtra 2750 // update and download dialogs
