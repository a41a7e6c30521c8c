#pragma once
// Asks for the user name and password that the proxy server demands. It may be raised from the
// update thread while the main window is in the background, so it shows on top of everything.
// OK gives IDOK and takes the three fields from the controls; Cancel leaves them as preset.

#include <string>

#include "LangDialog.h"
#include "server/AUHttpConnection.h"

namespace scup {

class CProxyUserDlg : public CLangDialog {
  public:
    explicit CProxyUserDlg(LANGID language, HWND parent = nullptr);

    // The values the controls start with.
    void Preset(std::wstring user, std::wstring password, int saveCredentials = 0);

    const std::wstring& User() const { return m_strUser; }
    const std::wstring& Password() const { return m_strPassword; }
    int SaveCredentials() const { return m_bSaveCredentials; }

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override;

  private:
    std::wstring ItemText(int id) const;

    std::wstring m_strUser;
    std::wstring m_strPassword;
    int m_bSaveCredentials = 0;
};

// The HTTP connection's credentials prompt: the dialog in the language, preset with the
// credentials and giving back all three fields on OK.
bool AskProxyCredentials(LANGID language, CAUHttpConnection::Credentials& credentials);

}  // namespace scup
