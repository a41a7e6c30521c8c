#pragma once
// The per-user configuration file "ScUpdater.config": the proxy record and the default selection
// of printer, language and user-interface language.
//
// Every write saves the whole document at once (atomically, through the document class). A file
// that exists but cannot be loaded is moved aside as "ScUpdater.config.bad" before anything new
// is saved over it, so the user's earlier settings are never overwritten.
//
// Its one object is the local data (AULocalData.h), which the main and update threads share:
// each read and write holds the document's lock, so that the proxy dialog saving on the main
// thread never meets the update thread reading the proxy record.

#include <functional>
#include <mutex>
#include <string>

#include "common/AUXMLParser.h"
#include "common/ProxyInfo.h"

class CAUConfigXML : public CAUXMLParser {
  public:
    static constexpr const wchar_t* kFileName = L"ScUpdater.config";

    virtual ~CAUConfigXML() = default;

    // Loads the file from the data folder, or starts an empty "Config" document (an unreadable
    // file is kept aside first). True when the configuration is ready, which it always is.
    virtual bool Initialize();

    // What SetProxyInfo gives when the password could not be enciphered: nothing was saved, since
    // a record saved without it would lose the password while saying it was kept.
    static constexpr int kPasswordNotEnciphered = 2;
    // 0 success, 1 failure. A read leaves members it could not read as the caller set them.
    int GetProxyInfo(SAUProxyInfo& info) const;
    int SetProxyInfo(const SAUProxyInfo& info);
    // How a password is enciphered for the file (the system's cipher unless replaced); an empty
    // result is a failure.
    using PasswordCipher = std::function<std::wstring(const std::wstring&)>;
    void SetPasswordCipher(PasswordCipher cipher);
    int GetUIDefaultSelection(std::wstring& printer, std::wstring& language, std::wstring& uiLanguage) const;
    int SetUIDefaultSelection(const std::wstring& printer, const std::wstring& language,
                              const std::wstring& uiLanguage);

    // The full path of the file in the data folder.
    static std::wstring ConfigFilePath();

  private:
    mutable std::mutex m_documentMutex;
    PasswordCipher m_cipher;
};
