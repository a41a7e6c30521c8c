/* Identifiers of the messages of installing updates in the resource library. Read by windres and
   by the program. Base identifiers, as in resource_ids.h: a language's copy sits at base + the
   language's offset. The install progress dialog is IDD_DEV_PROGRESS of firmware_ids.h. */
#ifndef SCUP_INSTALL_IDS_H
#define SCUP_INSTALL_IDS_H

/* 1464, a package that cannot be unpacked, is the main dialog's string (updater_ids.h). */
#define IDS_MSG_UNZIP_FAILED 1464
#define IDS_MSG_SOME_UPDATES_FAILED 1475
#define IDS_MSG_DOWNLOAD_FAILED 1480
#define IDS_MSG_INSTALLING 1484
#define IDS_MSG_APP_RUNNING 1485
#define IDS_MSG_INSTALL_FAILED 1486
/* A package refused because no trusted signature of the maker vouches for it: at install time, at
   check time (the packages left out of the list), the note that the check is turned off, and the
   updater's own package. */
#define IDS_MSG_NOT_SIGNED 1493
#define IDS_MSG_CHECK_NOT_SIGNED 1494
#define IDS_MSG_NOT_VERIFIED 1495
#define IDS_MSG_UPDATER_NOT_SIGNED 1496
#define IDS_MSG_FIRMWARE_NOT_ALL_DOWNLOADED 1497
#define IDS_MSG_DOWNLOAD_FAILED_OTHERS 1498
#define IDS_MSG_DISK_FULL 1499

#endif
