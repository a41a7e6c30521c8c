#pragma once
// What the firmware transfer takes from the application: the user-interface language of its
// dialogs and messages, and the locale identifier that its history entries record. Until the
// application says, US English and locale 0. Set by the main thread at start; read under a lock by
// whichever thread runs a transfer, its worker included.

#include <windows.h>

#include <functional>

struct STransferEnvironment {
    std::function<LANGID()> language;
    std::function<LCID()> locale;
};

void SetTransferEnvironment(STransferEnvironment environment);
LANGID TransferLanguage();
LCID TransferLocale();
