#pragma once
// Turns the server's offer into the update list the user sees: each offered component is matched
// against what is installed for the printer (an update) or tested for whether it may be installed
// new, and editions that a newer installed edition supersedes are dropped. Also the queries that
// build the server's offer, the updater's version comparison and the printer of the first check.

#include <functional>
#include <map>
#include <string>

#include "common/FirmInfo.h"
#include "server/ServerResult.h"

class CAULocalData;
class CAUServerData;

class CUpdateRefinement {
  public:
    // Where refinement learns about this PC; an empty function counts as "nothing there".
    struct Sources {
        // Printer driver name to the components installed for it.
        std::function<PrinterMap()> printers;
        // The printer of the driver that firmware can be sent to; empty when there is none.
        std::function<std::wstring(const std::wstring& driver)> transferPrinter;
        // Whether one of the maker's applications is installed on this PC, by package code.
        std::function<bool(const std::wstring& code)> isPackageInstalled;
        // The user's three-letter country abbreviation.
        std::function<std::wstring()> userCountry;
    };

    explicit CUpdateRefinement(Sources sources);

    // Replaces the printer's entry of the refined list with the refined server list. 0 when the
    // refined list is non-empty, 1 otherwise.
    //
    // An offered component that is neither an update nor installable leaves one record under
    // the key "_" with nothing but its sequence number; whoever lists or fetches the refined
    // entries skips records without an identifier (see IsListedRecord).
    int GetRefinedList(const std::wstring& printer, const ComponentList& serverList,
                       RefinedList& refinedList) const;

    // 1 when the right version is newer, -1 when it is older, 0 when it is the same as far as
    // the right side goes or the right side is empty.
    static int CompareUpgraderVersions(const std::wstring& left, const std::wstring& right);

    // Regional query: the server's components for the key, merged into the server list (by key,
    // later answers overwriting earlier ones). Firmware view keeps "FIRM" entries beginning with
    // "FP-", software view "PCS" entries beginning with "P". Gives the version check's result;
    // the server list is left alone unless it is Success.
    static ServerResult QueryComponents(CAUServerData& server, const std::wstring& key,
                                        const std::wstring& printer, bool firmwareView,
                                        ComponentList& serverList);
    // Firmware query: as the regional query in firmware view.
    static ServerResult QueryFirmware(CAUServerData& server, const std::wstring& key,
                                      const std::wstring& printer, ComponentList& serverList);
    // The entries of a version check's answer that the view keeps, merged as the queries merge them.
    static void TakeComponents(const ComponentList& answer, bool firmwareView, ComponentList& serverList);

    // The default selection, with a printer that exists: a remembered printer that is not
    // installed any more, or none, gives the first installed printer in name order.
    static void GetPrinterForInitialCheck(CAULocalData* localData, std::wstring& printer,
                                          std::wstring& locale, std::wstring& language);

    // Whether the list holds a "PCS" entry with the identifier.
    static bool HasPcsEntry(const ComponentList& list, const std::wstring& id);
    // "ASA" when the country is one of the Asian group (resource string 502), else "NAS".
    static std::wstring RegionGroup(const std::wstring& country);
    // A refined record that stands for something offered: it has an identifier.
    static bool IsListedRecord(const SAUExtFirmInfo& record) { return !record.strId.empty(); }

  private:
    // The installed entry a server entry updates; null when there is none.
    const SAUExtFirmInfo* FindInstalledMatch(const std::wstring& key, const SAUExtFirmInfo& offered,
                                             const ComponentList& installed, const std::wstring& group) const;
    bool IsApplicable(const SAUExtFirmInfo& offered, bool superseded, bool hasTransferPort) const;
    bool IsInstalled(const wchar_t* code) const;

    Sources m_sources;
};

// The version checks of one check for one printer. The server's answer to a key does not change
// while one check runs, and every exchange is a round trip, a long wait on a slow line: a key asked
// again within the check (the printer's own region when it is "ALL", the same key as a regional and
// a firmware query) takes the answer it had. A key that was not answered is asked again.
class CVersionQueries {
  public:
    CVersionQueries(CAUServerData& server, std::wstring printer)
        : m_server(server), m_printer(std::move(printer)) {}

    // As CUpdateRefinement::QueryComponents.
    ServerResult Query(const std::wstring& key, bool firmwareView, ComponentList& serverList);

  private:
    CAUServerData& m_server;
    std::wstring m_printer;
    std::map<std::wstring, ComponentList> m_answers;
};
