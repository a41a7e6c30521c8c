#pragma once
// Sends firmware files to the printers of one driver: checks each file against the printer model
// and the update it came with, asks the user to confirm, finds the online printers of the driver
// and sends the files to each through the transfer progress dialog, recording each file of an
// update row in the history, and tells the outcome in a message.

#include <string>
#include <vector>

#include "install/UpdateItemRecord.h"

inline constexpr int kFirmTransferSent = 0;
inline constexpr int kFirmTransferNothingSent = 1;
inline constexpr int kFirmTransferFailed = 2;

// 0 when at least one printer took the files; 1 when nothing was sent because the user declined
// or no file was usable; 2 on a communication or content error. installNames and items (when
// given) run parallel to files; a missing install name counts as empty.
int TransferFirmware(const std::wstring& driver, const std::vector<std::wstring>& installNames,
                     const std::vector<std::wstring>& files, const std::vector<const SAUItemRecord*>* items);

// The result code of the last transfer to a printer (0, 2, 3, 4, 5, 7, 8 or 17; 1 when none was
// started since it was forgotten).
int LastTransferResult();
void ForgetLastTransfer();
// Whether the last run asked the printer for the mode check before sending.
bool LastTransferUsedModeCheck();
// Whether the last transfer's printer listed the files sent at their new versions afterwards: the
// only proof that the update took effect.
bool LastTransferConfirmed();
// The same for the file of one row: whether it was sent and then listed at its new version.
bool LastTransferConfirmed(const SAUExtFirmInfo& entry);
