#pragma once
// The program's side of the update server: connection set-up and the exchanges.
//
// This build has no HTTP exchanges yet, so the server can never be initialised: callers take the
// "server not reachable" path.

#include <string>

#include "common/FirmInfo.h"

class CAUServerData {
public:
    virtual ~CAUServerData() = default;

    // 0 when a way to the server was found.
    virtual int Initialize();
    // 0 on success; fills the list with the server's entries for the key and printer.
    virtual int DoVersionCheck(ComponentList& result, const std::wstring& key, const std::wstring& printer);
    // Closes the connections of the exchanges; the session stays.
    virtual void CloseConnections();
    // Closes the session and the connections and forgets everything.
    virtual void Reset();
    virtual bool IsConnected() const { return m_bConnected; }

protected:
    bool m_bConnected = false;
};
