#pragma once
// The results of the library's calls, shared by its portable parts (reading and decoding archives)
// and by unzip32.h.

// Results of Wiz_SingleEntryUnzip.
#define PK_OK 0       // success
#define PK_WARN 1     // (not used)
#define PK_ERR 2      // an entry's data is damaged: CRC-32 or size mismatch, bad deflate data
#define PK_BADERR 3   // the archive's structure is damaged or inconsistent
#define PK_MEM 4      // out of memory
#define PK_NOZIP 9    // the archive cannot be opened or is not a zip archive
#define PK_PARAM 10   // bad or unsupported options
#define PK_FIND 11    // no entry matched the include list
#define PK_DISK 50    // a folder or file could not be made or written
#define PK_EOF 51     // the archive ends early
#define IZ_CTRLC 80   // cancelled by the service callback
#define IZ_UNSUP 81   // encryption, a compression method or spanning, which are not supported
#define UZ_UNSAFE 90  // an entry name that is refused (see unzip32.h) or names that collide
#define UZ_LIMIT 91   // more entries or more unpacked bytes than the limits allow
