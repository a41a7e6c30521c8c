#include "AUServerData.h"

#include "common/Trace.h"

using scup::AUTrace;

int CAUServerData::Initialize() {
    scup::TraceScope scope(L"CAUServerData::Initialize()");
    AUTrace(L"Failed: this build has no update server exchanges.");
    m_bConnected = false;
    return 1;
}

int CAUServerData::DoVersionCheck(ComponentList& result, const std::wstring&, const std::wstring&) {
    result.clear();
    return 1;
}

void CAUServerData::CloseConnections() {}

void CAUServerData::Reset() { m_bConnected = false; }
