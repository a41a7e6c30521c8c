#pragma once
// The requests of a PC's check, as the updater sends them: the exchange documents start with the
// declaration "<?xml version='1.0' ?>" and follow it directly with the serialised tree.

#include <string>
#include <vector>

#include "CheckExpectations.h"

namespace loadgen {

// A version check of the PC's printers, all in the one region.
std::string VersionCheckDocument(const std::vector<std::string>& drivers, const std::string& region);
// The file update of one offered firm, for a printer that has version "0" of it.
std::string FileUpdateDocument(const OfferedFirm& firm);

// The request text. Each exchange is tagged with "?case=KEY", which the update server ignores; a
// configuration that serves saved answers as static files picks the file by it.
std::string PostRequest(const std::string& host, const std::string& path, const std::string& caseKey,
                        const std::string& body);
std::string GetRequest(const std::string& host, const std::string& path);

std::string VersionCheckCase(const std::string& region);
std::string FileUpdateCase(const OfferedFirm& firm);

}  // namespace loadgen
