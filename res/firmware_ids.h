/* Identifiers of the firmware transfer's dialogs, images and messages in the resource library.
   Read by windres and by the program. Templates and texts are base identifiers, as in
   resource_ids.h: a language's copy sits at base + the language's offset. */
#ifndef SCUP_FIRMWARE_IDS_H
#define SCUP_FIRMWARE_IDS_H

/* Images (language independent) */
#define IDR_TRANSFER_ANIMATION 20
#define IDB_FIRMWARE_UPDATE 157

/* Firmware update confirmation */
#define IDD_FIRM_UPDATE 1250
#define IDC_FIRM_UPDATE_PICTURE 1251
#define IDC_FIRM_UPDATE_TEXT 1253
#define IDC_FIRM_UPDATE_HEADING 1254

/* Transfer progress */
#define IDD_TR_PROGRESS 1280
#define IDC_TR_ANIMATION 1281
#define IDC_TR_NAME 1282
#define IDC_TR_PERCENT 1283
#define IDC_TR_INTRO 1284
#define IDC_TR_PROGRESS 1285

/* Communication failure */
#define IDD_CANT_COMM 1300
#define IDC_CANT_COMM_TEXT 1301

/* Device progress: the printer stores what it was sent */
#define IDD_DEV_PROGRESS 1310
#define IDC_DEV_TEXT 1311
#define IDC_DEV_PROGRESS 1312

/* Status panel */
#define IDD_MESSAGE 1340
#define IDC_MSG_LINE 1341
#define IDC_MSG_PROGRESS 1342
#define IDC_MSG_ITEM 1343

/* Messages of the firmware transfer */
#define IDS_MSG_PRINTER_NOT_READY 1455
#define IDS_MSG_FIRMWARE_UPDATED 1457
#define IDS_MSG_TRANSFER_CANCELLED 1458
#define IDS_MSG_TRANSFER_FAILED 1459
#define IDS_MSG_FIRMWARE_NOT_CONFIRMED 1460
#define IDS_MSG_BATTERY_LOW 1461
#define IDS_MSG_PRINTER_BUSY 1469
#define IDS_MSG_SPEC_MISMATCH 1462
#define IDS_MSG_FILE_NOT_FOR_UPDATE 1465
#define IDS_MSG_NO_FIRMWARE_FILE 1466

#endif
