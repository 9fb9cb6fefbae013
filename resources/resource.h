// Resource ids of zorvex.exe, shared by zorvex.rc and the C++ that loads them.
// Plain C preprocessor only, so that the resource compiler can read it.
#ifndef ZORVEX_RESOURCE_H
#define ZORVEX_RESOURCE_H

// Lowest icon id: Explorer shows the first icon group as the program's icon.
#define IDI_APP 1

// Tray icons: IDI_TRAY_FIRST + index in the TrayIcons image list.
#define IDI_TRAY_FIRST 100
#define IDI_TRAY_ON 100
#define IDI_TRAY_OFF 101
#define IDI_TRAY_KILL 102
#define IDI_TRAY_COUNT 3

// Menu images: IDI_MENU_FIRST + index in the main form's Images list. Icons rather than
// bitmaps: they carry alpha and a mask, and go into an image list with ImageList_ReplaceIcon.
#define IDI_MENU_FIRST 200
#define IDI_MENU_EXIT 200
#define IDI_MENU_OPTIONS 201
#define IDI_MENU_ADD_RULE 202
#define IDI_MENU_ACTIVE 203
#define IDI_MENU_CLOSE_MENU 204
#define IDI_MENU_LANGUAGE 205
#define IDI_MENU_COUNT 6

// The built-in alarm: PlaySoundW(L"" ZORVEX_ALARM_NAME, module, SND_RESOURCE | ...).
#define ZORVEX_ALARM_NAME "ALARM"
#define ZORVEX_ALARM_TYPE "WAVE"

#endif
