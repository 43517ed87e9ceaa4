#pragma once
// Resource and control ids of the program's dialogs, menus and strings. Every
// widget carries its id as its object name (the decimal text), so tests and
// accessibility tools find it.

namespace qvr::res {

// Dialog templates.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_QVRCOMPARE_DIALOG = 102;

// Strings and icons.
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr const char* kAboutMenuText = "&About QvrCompare...";
inline constexpr int IDR_MAINFRAME = 128;

// System-menu command of the About box.
inline constexpr int IDM_ABOUTBOX = 0x0010;

// Main window controls.
inline constexpr int IDOK_BUTTON = 1;
inline constexpr int IDCANCEL_BUTTON = 2;
inline constexpr int IDC_USERID = 1000;
inline constexpr int IDC_PASSWORD = 1001;
inline constexpr int IDC_REMEMBER = 1002;
inline constexpr int IDC_PROJECT = 1003;
inline constexpr int IDC_STATE = 1004;
inline constexpr int IDC_PACKAGE = 1005;
inline constexpr int IDC_LOCALPATH = 1006;
inline constexpr int IDC_BROKER = 1007;
inline constexpr int IDC_TOPLIST = 1100;
inline constexpr int IDC_BTMLIST = 1101;
inline constexpr int IDC_SHOWNEW = 1102;
inline constexpr int IDC_BROWSE_LOCAL = 1104;
inline constexpr int IDC_TEMPPATH = 1105;
inline constexpr int IDC_BROWSE_TEMP = 1106;
inline constexpr int IDC_EXPORT_BTM = 1107;
inline constexpr int IDC_EXPORT_TOP = 1108;
inline constexpr int IDC_CLEAR_TOP = 1109;
inline constexpr int IDC_CLEAR_BTM = 1110;
inline constexpr int IDC_GEN_BTM = 2022;
inline constexpr int IDC_GEN_TOP = 2023;
inline constexpr int IDC_TOPCOUNT = 2024;
inline constexpr int IDC_BTMCOUNT = 2025;
inline constexpr int IDC_REGSETTINGS = 2026;
inline constexpr int IDC_FIND_TOP = 2027;
inline constexpr int IDC_FIND_BTM = 2028;
inline constexpr int IDC_SUBFOLDERS = 2700;
inline constexpr int IDC_STATUS = 2701;
inline constexpr int IDC_SHOWDIFF = 2702;
inline constexpr int IDC_SHOWSAME = 2703;
inline constexpr int IDC_SHOWMISSING = 2704;

// Commands without a control.
inline constexpr int ID_FIND_NEXT_TOP = 1030;
inline constexpr int ID_FIND_NEXT_BTM = 1031;
inline constexpr int ID_GEN_TOP_LIST = 1033;
inline constexpr int ID_TOP_WINDIFF = 2510;
inline constexpr int ID_TOP_LAST = 2540;
inline constexpr int ID_BTM_WINDIFF = 2610;
inline constexpr int ID_BTM_LAST = 2640;

// Notifications from the report lists to their owner.
inline constexpr int WM_LIST_CLICK = 0x404;
inline constexpr int WM_LIST_DBLCLICK = 0x405;
inline constexpr int WM_LIST_FINDNEXT = 0x408;
inline constexpr int WM_LIST_SORTED = 0xA711;

}  // namespace qvr::res
