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

#endif
