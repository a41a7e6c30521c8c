#pragma once
// The work that the transfer progress dialog runs on its worker thread for one printer: every
// file in turn, each shown by its row's title (or a name made from its path), weighed by its data
// length and cancellable only below the printer's cancel limit; a history entry for each file of
// a row once the printer has stored it. Stops at the first file that fails, with the port's
// result code set.

#include <string>
#include <vector>

#include "TransferProgress.h"
#include "UpdateItemRecord.h"

class CTransferWorker {
  public:
    // items, when given, runs parallel to files. printer names the history entries of rows that
    // name no printer themselves.
    CTransferWorker(const std::vector<std::wstring>& files, const std::vector<const SAUItemRecord*>* items,
                    std::wstring printer);

    // progress is the transfer dialog's: told each file's share sent, it says whether to go on.
    void Run(const TransferProgress& progress);

  private:
    bool SendFile(const std::wstring& path, const SAUItemRecord* item, const TransferProgress& progress);
    void RecordHistory(const class CPd3File& file, const SAUItemRecord& item) const;

    const std::vector<std::wstring>& m_files;
    const std::vector<const SAUItemRecord*>* m_items;
    std::wstring m_strPrinter;
};
