#pragma once
// The program's main window: the updates found for the chosen printer (firmware view) or for the
// installed applications (software view), the details of the selected one, and the commands to
// check again, change printer or region, install or transfer the ticked updates, look at the
// history, set the proxy, or send firmware packages from disk to the printer.
//
// The work runs on the update thread, which the dialog drives through the named events
// "CHECK_EVENT", "START_EVENT", "REFRESH_EVENT" and "RESETSERVER_EVENT"; the thread drives the
// dialog back through the ready flag and the operations of IUpdateListView, each of which is
// safe from any thread.

#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "DescriptionPackage.h"
#include "DetailsLink.h"
#include "DetailsPane.h"
#include "IconButton.h"
#include "LangDialog.h"
#include "OfferedRows.h"
#include "RegionChoice.h"
#include "UpToDateNote.h"
#include "UpdateRows.h"
#include "UpdaterMenu.h"
#include "common/FirmInfo.h"
#include "common/Guarded.h"
#include "common/Handles.h"
#include "install/DiskPackages.h"
#include "install/UpdateListView.h"

class CAUConfigXML;
struct CUnzipHolder;

class CUpdaterDialog : public scup::CLangDialog, public IUpdateListView {
  public:
    using FirmwareTransfer = scup::FirmwareTransfer;
    using LinkOpener = scup::CDetailsLink::Opener;

    // Refreshes the details pane for the selected row (or clears it).
    static constexpr UINT kRefreshDetailsMessage = WM_APP + 1;

    using SRegion = scup::SRegion;

    CUpdaterDialog(LANGID language, std::wstring printer, LCID locale, HWND parent = nullptr);
    ~CUpdaterDialog() override;

    // Runs modally in the view. A result above 1000 asks for the dialog in another language.
    INT_PTR Run(UpdateView view);
    void SetView(UpdateView view) { m_view = view; }

    // Set by the creator before the dialog is shown.
    void SetPrinters(std::vector<std::wstring> printers) { m_printers = std::move(printers); }
    void SetConfiguration(CAUConfigXML* config) { m_pConfig = config; }
    void SetUnzip(const CUnzipHolder* unzip) { m_pUnzip = unzip; }
    void SetFirmwareTransfer(FirmwareTransfer transfer) { m_transfer = std::move(transfer); }
    void SetLinkOpener(LinkOpener opener) { m_link.SetOpener(std::move(opener)); }

    // The regions of the region box.
    static std::vector<SRegion> AvailableRegions() { return scup::CRegionChoice::Available(); }

    // IUpdateListView
    HWND ViewWindow() const override { return GetSafeHwnd(); }
    bool IsFirmwareView() const override { return m_view.load() == UpdateView::Firmware; }
    void SetReady(int ready) override;
    void ShowProgress(ProgressMode mode) override;
    void SetProgressItem(const std::wstring& title) override;
    void SetProgressPercent(int percent) override;
    std::vector<SAUTickedRow> GetTickedRows() override;
    void SetUpdates(const RefinedList& updates, const SYSTEMTIME& askedAt) override;
    void ClearList() override;
    void ShowView(bool show) override;

    bool HasFirmwareEntries(const std::wstring& printer) const;
    // Firmware packages from disk become the rows (what the open command does with the files
    // the user chose).
    void AddLocalPackages(const std::vector<std::wstring>& files);
    // What the details pane shows (on the dialog's thread).
    const scup::CDetailsPane& Details() const { return m_details; }
    // The address the details link opens; empty while no link is shown (on the dialog's thread).
    const std::wstring& LinkAddress() const { return m_link.Address(); }

    std::atomic<int> m_bIdle{1};
    // The chosen printer: set on the dialog's thread, read by the update thread.
    scup::Guarded<std::wstring> m_printer;
    std::atomic<LCID> m_nLocale;
    std::atomic<UpdateView> m_view{UpdateView::Software};
    std::atomic<int> m_bLocalFiles{0};
    std::atomic<ProgressMode> m_progressMode{ProgressMode::Hidden};
    std::atomic<bool> m_bKeepAwake{false};

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void OnDestroy() override;

  private:
    void SetUpView();
    void Signal(const wchar_t* eventName) const;

    void UpdateControlStates();
    void EnableCommand(UINT id, bool enabled);

    RefinedList CopyOfUpdates() const;
    // The rows of an update list: the view's entries of the dialog's printer, read from their
    // description packages (any thread), then shown (dialog's thread).
    scup::SOfferedRows ReadRows(const RefinedList& updates) const;
    void ShowRows(scup::SOfferedRows offered);
    void ShowUpToDateNote();
    void RefreshDetails();

    void OnRefresh();
    void OnInstall();
    void OnPrinterChosen();
    void OnRegionChosen();
    void OnRegionMenu(UINT command);
    void ChooseRegion(LCID locale);
    void OnLanguageMenu(UINT command);
    void OnProxySettings();
    void OnHistory();
    void OnOpenPackages();
    void OnAbout();
    void TransferLocalPackages();

    INT_PTR OnNotify(const NMHDR& header, bool& handled);
    INT_PTR OnDrawItem(const DRAWITEMSTRUCT& item);

    mutable std::mutex m_updatesMutex;
    RefinedList m_mapUpdates;
    std::vector<std::wstring> m_printers;
    CAUConfigXML* m_pConfig = nullptr;
    const CUnzipHolder* m_pUnzip = nullptr;
    FirmwareTransfer m_transfer;

    HACCEL m_hAccelerators = nullptr;  // resource table: not destroyed
    scup::UniqueBitmap m_headerBitmap;
    scup::CUpdaterMenu m_menu;
    scup::CRegionChoice m_regions;
    scup::CIconButton m_installButton;
    scup::CUpdateRows m_rows;
    scup::CDetailsPane m_details;
    scup::CDetailsLink m_link;
    // After a check that leaves the list empty the list says so (on the dialog's thread only).
    scup::CUpToDateNote m_upToDate;
    bool m_bChecked = false;
    std::wstring m_strCheckedAt;
    // Why the last rows filled left some out, when they did: no row then is no "up to date".
    scup::DescriptionRead m_rowsLeftOut = scup::DescriptionRead::Read;
    COLORREF m_themeColour = RGB(127, 157, 185);
    std::vector<scup::UniqueHandle> m_events;
};
