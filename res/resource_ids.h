/* Identifiers of the resource library. Read by windres and by the program. Texts, templates and
   message strings are base identifiers: a language's copy sits at base + the language's offset. */
#ifndef SCUP_RESOURCE_IDS_H
#define SCUP_RESOURCE_IDS_H

/* Images (language independent) */
#define IDI_APP 10
#define IDI_SOFTWARE_BUTTON 150
#define IDI_FIRMWARE_BUTTON 155
#define IDB_START_BANNER 156

/* Settings strings (read without language adjustment) */
#define IDS_LOCALE_FIRST 200
#define IDS_LOCALE_LAST 230
#define IDS_LANGNAME_FIRST 300
#define IDS_REGIONLIST_FIRST 400
#define IDS_REGISTRY_KEY 500
#define IDS_PROFILE_NAME 501
#define IDS_ASA_COUNTRIES 502
#define IDS_URL_VERSIONCHECK 503
#define IDS_URL_NOTICE 504
#define IDS_URL_FILEUPDATE 505
/* The maker's public signing keys (Base64 of the P-256 point X||Y); two, so that one can replace
   the other without a gap. */
#define IDS_SIGNING_KEY_FIRST 506
#define IDS_SIGNING_KEY_LAST 507
// The publisher whose Authenticode signature the installers and the updater carry.
#define IDS_CODE_PUBLISHER 508

/* Start dialog */
#define IDD_START 1100
#define IDC_START_PICTURE 1102
#define IDC_START_INTRO 1103
#define IDC_START_SOFTWARE 1104
#define IDC_START_SOFTWARE_TITLE 1105
#define IDC_START_SOFTWARE_TEXT 1106
#define IDC_START_FIRMWARE 1107
#define IDC_START_FIRMWARE_TITLE 1108
#define IDC_START_FIRMWARE_TEXT 1109
#define IDC_START_PANEL 1110
#define IDC_START_STATUS 1111

/* Printer selection dialog */
#define IDD_PRINTER_SELECT 1140
#define IDC_PRINTER_LIST 1141
#define IDC_PRINTER_LABEL 1142

/* Main updater dialog */
#define IDD_UPDATER 1160
#define IDC_UPD_PRINTER 1166
#define IDC_UPD_REFRESH 1170
#define IDC_UPD_LIST 1171
#define IDC_UPD_INSTALL 1180
#define IDC_UPD_STATUS 1190

/* Proxy settings dialog */
#define IDD_PROXY_SETTINGS 1220
#define IDC_PROXY_HOST 1221
#define IDC_PROXY_PORT 1222
#define IDC_PROXY_USE 1223
#define IDC_PROXY_HOST_LABEL 1224
#define IDC_PROXY_PORT_LABEL 1225

/* Proxy credentials dialog */
#define IDD_PROXY_USER 1320
#define IDC_PROXY_USER_NAME 1321
#define IDC_PROXY_USER_PASSWORD 1322
#define IDC_PROXY_USER_INTRO 1323
#define IDC_PROXY_USER_SAVE 1324
#define IDC_PROXY_USER_NAME_LABEL 1325
#define IDC_PROXY_USER_PASSWORD_LABEL 1326

/* Do-not-show-again message box */
#define IDD_ALT_MESSAGE 1330
#define IDC_ALT_DONT_SHOW 1331
#define IDC_ALT_ICON 1332
#define IDC_ALT_TEXT 1333

/* Texts */
#define IDS_APP_TITLE 1399
#define IDS_START_INTRO 1400
#define IDS_START_FIRMWARE_TITLE 1401
#define IDS_START_FIRMWARE_TEXT 1402
#define IDS_START_SOFTWARE_TITLE 1403
#define IDS_START_SOFTWARE_TEXT 1404
#define IDS_START_CONNECTING 1405
#define IDS_MSG_NO_PRINTER_DRIVER 1451
#define IDS_MSG_UPDATE_FIRMWARE_NOW 1467
#define IDS_MSG_PROXY_AUTH_REFUSED 1482
#define IDS_MSG_SERVER_UNREACHABLE 1487
#define IDS_MSG_PROXY_NOT_SAVED 1488
#define IDS_MSG_PROXY_PORT_RANGE 1489
#define IDS_MSG_WINDOW_FAILED 1490
#define IDS_MSG_SERVER_ANSWER_UNUSABLE 1491
#define IDS_MSG_SERVER_NOT_TRUSTED 1492
#define IDS_MSG_REDIRECT_REFUSED 1406
#define IDS_MSG_PASSWORD_NOT_SAVED 1407
#define IDS_MSG_UPDATER_VERSION_NOT_RECORDED 1408
#define IDS_MSG_SIGN_IN_FIRST 1468

#endif
