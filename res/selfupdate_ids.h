/* Identifiers of the self-upgrade confirmation in the resource library. Read by windres and by the
   program. The template and its texts are base identifiers, as in resource_ids.h: a language's copy
   sits at base + the language's offset. */
#ifndef SCUP_SELFUPDATE_IDS_H
#define SCUP_SELFUPDATE_IDS_H

#define IDD_SELF_UPDATE 1350
/* The same control number as the icon of the do-not-show-again box: both show a system icon. */
#define IDC_SELF_UPDATE_ICON 1332
#define IDC_SELF_UPDATE_HEADING 1351
#define IDC_SELF_UPDATE_TEXT 1352

#endif
