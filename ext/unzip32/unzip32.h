#pragma once
// unzip32.dll: unpacks zip archives through the single-entry call of the Info-ZIP unzip DLL, in
// the interface version whose option and callback blocks carry no structure version field. Texts
// are single-byte, in the system code page. The program loads the library at run time and looks
// the entry point up by name.
//
// What the library writes stays inside the target folder: an archive with an entry whose name is
// absolute, has a drive, device or stream part, contains "..", names a reserved device, would land
// outside the target folder, or collides with another entry is refused as a whole; so is one whose
// entries would unpack to more than the size limit or that holds more entries than the count
// limit. A refused or failed archive leaves nothing behind: files are written under temporary
// names and take their own names only when every entry has unpacked and checked out (size and
// CRC-32), and on failure every file and folder made for the call is removed again.

#include <windows.h>

#ifdef __cplusplus
#define UNZIP32_EXTERN extern "C"
#else
#define UNZIP32_EXTERN extern
#endif

// Callbacks. All of them may be null.
// print: receives one null-terminated message line and its length; returns the length.
typedef int(WINAPI DLLPRNT)(LPSTR text, unsigned long length);
// password: never called; encrypted entries are refused (IZ_UNSUP).
typedef int(WINAPI DLLPASSWORD)(LPSTR buffer, int size, LPCSTR prompt, LPCSTR entryName);
// ServCallBk: called before each entry with its name and unpacked size; non-zero cancels the call.
typedef int(WINAPI DLLSERVICE)(LPCSTR entryName, unsigned long size);
// sound: called once when the call has finished.
typedef void(WINAPI DLLSND)(void);
// replace: asked whether an existing file may be replaced when PromptToOverwrite is set and
// noflag is not. See the IDM_REPLACE_ answers below; any other non-zero answer replaces.
typedef int(WINAPI DLLREPLACE)(LPSTR fileName);
// SendApplicationMessage: a listing callback; this library does not list, so it is never called.
typedef void(WINAPI DLLMESSAGE)(unsigned long size, unsigned long compressedSize, unsigned factor,
                                unsigned month, unsigned day, unsigned year, unsigned hour, unsigned minute,
                                char caseFlag, LPSTR entryName, LPSTR method, unsigned long crc,
                                char encrypted);

typedef struct {
    DLLPRNT* print;
    DLLSND* sound;
    DLLREPLACE* replace;
    DLLPASSWORD* password;
    DLLMESSAGE* SendApplicationMessage;
    DLLSERVICE* ServCallBk;
    // Filled in by the call from the archive's central directory.
    unsigned long TotalSizeComp;
    unsigned long TotalSize;
    unsigned long CompFactor;
    unsigned long NumMembers;
    WORD cchComment;
} USERFUNCTIONS, *LPUSERFUNCTIONS;

typedef struct {
    int ExtractOnlyNewer;   // not supported: must be 0
    int SpaceToUnderscore;  // 1: spaces in entry names become "_"
    int PromptToOverwrite;  // 1: ask the replace callback before replacing an existing file
    int fQuiet;             // 0 all messages, 1 errors only, 2 none
    int ncflag;             // not supported (write to standard output): must be 0
    int ntflag;             // 1: test the archive (sizes and CRC-32) without writing anything
    int nvflag;             // not supported (listing): must be 0
    int nfflag;             // not supported (freshen): must be 0
    int nzflag;             // ignored (archive comment display)
    int ndflag;             // 1: restore the folder structure; 0: every file into the target folder
    int noflag;             // 1: replace existing files without asking
    int naflag;             // not supported (line-end conversion): must be 0
    int nZIflag;            // not supported (archive information): must be 0
    int C_flag;             // 1: match the include and exclude lists ignoring case
    int fPrivilege;         // ignored (no security data is restored)
    LPSTR lpszZipFN;        // the archive
    LPSTR lpszExtractDir;   // the target folder, created when missing; null: the current folder
} DCL, *LPDCL;

// Answers of the replace callback.
#define IDM_REPLACE_NO 100    // keep this file
#define IDM_REPLACE_TEXT 101  // replace it
#define IDM_REPLACE_YES 102   // replace it
#define IDM_REPLACE_ALL 103   // replace it and every further one without asking
#define IDM_REPLACE_NONE 104  // keep it and every further one without asking

#include "UnzipResults.h"

// Unpacks the archive named in the option block (what the flags ask for) into its target folder.
// ifnc/ifnv: names or wildcard patterns ("*", "?") of the entries to unpack (none: all);
// xfnc/xfnv: entries to leave out. Returns one of the results above.
UNZIP32_EXTERN int WINAPI Wiz_SingleEntryUnzip(int ifnc, char** ifnv, int xfnc, char** xfnv, LPDCL lpDCL,
                                               LPUSERFUNCTIONS lpUserFunc);
typedef int(WINAPI* WIZ_SINGLEENTRYUNZIP)(int, char**, int, char**, LPDCL, LPUSERFUNCTIONS);

// The limits for the whole process: the sum of the unpacked sizes of the entries of one call and
// the number of entries of one archive. 0 restores a default (UNZIP32_DEFAULT_...).
#define UNZIP32_DEFAULT_MAX_TOTAL_SIZE (1ull << 30)
#define UNZIP32_DEFAULT_MAX_ENTRIES 10000ul
UNZIP32_EXTERN void WINAPI Unzip32SetLimits(unsigned long long maxTotalSize, unsigned long maxEntries);
typedef void(WINAPI* UNZIP32SETLIMITS)(unsigned long long, unsigned long);
