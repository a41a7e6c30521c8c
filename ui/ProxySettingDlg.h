#pragma once
// Lets the user set the proxy server (host and port) and switch its use on or off. The settings
// are read from the configuration when the dialog is made and written back on OK, which gives 1.
// Opened modally by the main dialog, on the main thread; the update thread reads the same
// configuration when it connects.

#include <string>

#include "LangDialog.h"

class CAUConfigXML;

namespace scup {

class CProxySettingDlg : public CLangDialog {
  public:
    // Reads the stored proxy record: the host and port come out of its "host:port" text.
    CProxySettingDlg(LANGID language, CAUConfigXML& config, HWND parent = nullptr);

    // As prepared from the configuration, and as accepted after OK.
    const std::wstring& Host() const { return m_strHost; }
    unsigned int Port() const { return m_nPort; }
    int UseProxy() const { return m_bUseProxy; }

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;

  private:
    void PrepareFromStoredRecord();
    void ApplyCheckBoxRule();
    void ApplyTextRule();
    bool BothTextsGiven() const;
    std::wstring ItemText(int id) const;
    // What the configuration's SetProxyInfo gives.
    int SaveRecord(const std::wstring& host, unsigned int port, int useProxy);

    CAUConfigXML& m_config;
    std::wstring m_strHost;
    unsigned int m_nPort = 0;
    int m_bUseProxy = 0;
};

}  // namespace scup
