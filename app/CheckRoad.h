#pragma once
// One check of a printer in a view, the road of the dialogs' update thread and of an unattended run
// alike: the server's offer for the locale's languages and the printer's parts, refined against this
// PC, and the descriptions of what is offered fetched, checked by the updater and handed to the view.
// It runs on the thread that calls it, with the server and local data it is lent for the check.

#include <windows.h>

#include <functional>
#include <string>

#include "common/FirmInfo.h"
#include "install/UpdateListView.h"
#include "server/ServerResult.h"

class CAUFileUpdater;
class CAULocalData;
class CAUServerData;

class CCheckRoad {
  public:
    struct SParts {
        CAUServerData* server = nullptr;
        CAULocalData* local = nullptr;
        // The locale whose languages the offer is asked in.
        LCID locale = 0;
        // The printer of a driver that firmware can be sent to; without it no firmware that needs
        // one is offered.
        std::function<std::wstring(const std::wstring& driver)> findTransferPrinter;
        // Whether one of the maker's applications is installed; the local data's test without it.
        std::function<bool(const std::wstring& code)> isPackageInstalled;
    };
    // What a check came to. queried: the offer arrived (result may still be the failure of a
    // description); serverList: the offer as it came; refined: the offer refined against this PC.
    struct SResult {
        ServerResult result = ServerResult::Failed;
        bool queried = false;
        ComponentList serverList;
        RefinedList refined;
    };

    explicit CCheckRoad(SParts parts);

    // printerData: the printer told its parts, so its firmware is asked for part by part.
    SResult Check(CAUFileUpdater& updater, IUpdateListView& view, const std::wstring& printer,
                  bool firmwareView, bool printerData) const;
    // The offer refined against this PC, as a check does it; an install run refines the offer it
    // began with again, against what it changed.
    RefinedList Refine(const std::wstring& printer, const ComponentList& serverList) const;

  private:
    // The regional queries of the locale's languages, then, with the printer's parts known, the
    // firmware query of each part. Success with the list filled; else the first query that failed.
    ServerResult QueryServerOffer(const std::wstring& printer, bool firmwareView, bool printerData,
                                  ComponentList& serverList) const;
    // The region the offer is asked for: the one of the printer's main firmware when the printer
    // told its parts, else the user's.
    std::wstring OfferCountry(const std::wstring& printer, bool printerData) const;

    SParts m_parts;
};

// The user's country as the server's keys name it ("USA", "DEU").
std::wstring UserCountryAbbreviation();
// A locale's text of the given type, cut to maxLength characters.
std::wstring LocaleText(LCID locale, LCTYPE type, size_t maxLength);
