#pragma once
// The work that the transfer progress dialog runs on its worker thread for one printer: every
// file in turn, each shown by its row's title (or a name made from its path), weighed by its data
// length and cancellable only below the printer's cancel limit. Stops at the first file that
// fails, with the port's result code set. It keeps what it sent: the history entries of the rows
// are written once the printer has shown that it holds the new versions.

#include <cstdint>
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

    // A file the printer took, as its header names it, with its row when there is one.
    struct SSentFile {
        std::string name;
        std::string spec;
        std::string version;
        std::uint8_t type = 0;
        const SAUItemRecord* item = nullptr;
    };
    // Read once the worker has ended.
    const std::vector<SSentFile>& Sent() const { return m_sent; }
    // The history entry of a sent file of a row.
    void RecordHistory(const SSentFile& sent) const;

  private:
    bool SendFile(const std::wstring& path, const SAUItemRecord* item, const TransferProgress& progress);

    const std::vector<std::wstring>& m_files;
    const std::vector<const SAUItemRecord*>* m_items;
    std::wstring m_strPrinter;
    std::vector<SSentFile> m_sent;
};
