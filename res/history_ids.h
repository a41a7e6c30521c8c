/* Identifiers of the update history dialog in the resource library. Read by windres and by the
   program. Templates and texts are base identifiers, as in resource_ids.h: a language's copy sits
   at base + the language's offset. */
#ifndef SCUP_HISTORY_IDS_H
#define SCUP_HISTORY_IDS_H

#define IDD_HISTORY 1190
#define IDC_HISTORY_LIST 1191

/* Column headings; name and version head the main dialog's list of updates as well. */
#define IDS_COL_TITLE 1442
#define IDS_COL_VERSION 1443
#define IDS_COL_DATE 1470
#define IDS_COL_PRINTER 1471
#define IDS_COL_LANGUAGE 1472

#endif
