/* Identifiers of the main updater dialog in the resource library. Read by windres and by the
   program. Templates, menus and texts are base identifiers, as in resource_ids.h: a language's copy
   sits at base + the language's offset. Images and the accelerator table are language independent. */
#ifndef SCUP_UPDATER_IDS_H
#define SCUP_UPDATER_IDS_H

/* Images: the view's heading picture (software, firmware), the built-in details pictures, the
   list's row images (three of 16 x 16) and its check box images (two of 16 x 16). Magenta is the
   colour key. */
#define IDB_UPD_SOFTWARE_HEADER 150
#define IDB_UPD_DETAILS_DEFAULT 152
#define IDB_UPD_ROW_IMAGES 153
#define IDB_UPD_CHECK_IMAGES 154
#define IDB_UPD_FIRMWARE_HEADER 155
#define IDB_UPD_DETAILS_EDITOR 159
#define IDR_UPD_ACCELERATORS 1001

/* Main dialog (template 1160 with IDD_UPDATER) and its menu */
#define IDM_UPDATER 1161
#define IDC_UPD_HEADER_PICTURE 1162
#define IDC_UPD_HEADER_TITLE 1163
#define IDC_UPD_THEME 1164
#define IDC_UPD_PRINTER_LABEL 1165
#define IDC_UPD_REGION_LABEL 1167
#define IDC_UPD_REGION 1168
#define IDC_UPD_HEADER_TEXT 1169
#define IDC_UPD_LINK 1173
#define IDC_UPD_DETAILS 1174
#define IDC_UPD_LIST_LABEL 1175
#define IDC_UPD_EMPTY 1176

/* Menu commands */
#define ID_UPD_REFRESH 100
#define ID_UPD_TRANSFER 101
#define ID_UPD_INSTALL 102
#define ID_UPD_HISTORY 103
#define ID_UPD_PROXY 105
#define ID_UPD_ABOUT 106
#define ID_UPD_REGION_FIRST 450
#define ID_UPD_REGION_LAST 499
#define ID_UPD_LANGUAGE_FIRST 600
#define ID_UPD_LANGUAGE_LAST 639
#define ID_UPD_OPEN 57601
#define ID_UPD_EXIT 57602

/* Texts */
#define IDS_UPD_FIRMWARE_TITLE 1420
#define IDS_UPD_FIRMWARE_TEXT 1421
#define IDS_UPD_SOFTWARE_TITLE 1422
#define IDS_UPD_SOFTWARE_TEXT 1423
#define IDS_UPD_TRANSFER 1440
#define IDS_UPD_INSTALL 1441
#define IDS_UPD_COL_SIZE 1444
#define IDS_UPD_DETAILS_LINK 1445
#define IDS_UPD_DETAILS_VERSION 1446
#define IDS_UPD_DETAILS_SIZE 1447
#define IDS_UPD_ABOUT 1448
#define IDS_UPD_CHECKING 1453
#define IDS_UPD_DOWNLOADING 1454
#define IDS_UPD_UP_TO_DATE 1456
#define IDS_MSG_PACKAGE_MISSING 1463
#define IDS_MSG_PACKAGE_UNREADABLE 1464
#define IDS_UPD_OPEN_FILTER 1473
#define IDS_MSG_LOCALE_NOT_INSTALLED 1476
#define IDS_UPD_NOT_SHOWN_UNZIP 1424
#define IDS_UPD_NOT_SHOWN_TEMP 1425
#define IDS_UPD_NOT_SHOWN_DAMAGED 1426

#endif
