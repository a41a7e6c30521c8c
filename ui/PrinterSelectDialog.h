#pragma once
// Lets the user choose one of the printer drivers the local data knows. OK gives 1. Shown by the
// main thread's dialog sequence, between the start and main dialogs.

#include <string>
#include <vector>

#include "LangDialog.h"

namespace scup {

class CPrinterSelectDialog : public CLangDialog {
public:
    CPrinterSelectDialog(LANGID language, std::vector<std::wstring> printers, std::wstring current,
                         HWND parent = nullptr);

    // The chosen printer after OK.
    const std::wstring& Printer() const { return m_strPrinter; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    void OnDestroy() override;

private:
    void UpdateOkButton();

    std::vector<std::wstring> m_printers;
    std::wstring m_strPrinter;
};

}  // namespace scup
