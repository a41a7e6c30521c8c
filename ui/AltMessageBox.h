#pragma once
// A warning with a "do not show this message again" box; a message the user has silenced
// stays silent (profile value "NoMsg<id>" in "Settings"). Shown by the main dialog, on the main
// thread.

#include <string>

#include "LangDialog.h"

namespace scup {

class CAltMessageBox : public CLangDialog {
public:
    CAltMessageBox(LANGID language, HWND parent, int messageId, std::wstring text = {});

    // -1 without showing anything when there is no message or the user silenced it; else the dialog result.
    INT_PTR Show();

    static std::wstring SettingName(int messageId);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

private:
    void ReadCheckBox();

    int m_bDontShow = 0;
    HICON m_hWarningIcon = nullptr;  // system icon: shared, not destroyed
    int m_nMessageId;
    std::wstring m_strText;
};

}  // namespace scup
