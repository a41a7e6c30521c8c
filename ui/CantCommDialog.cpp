#include "CantCommDialog.h"

#include "res/firmware_ids.h"

namespace scup {

CCantCommDialog::CCantCommDialog(LANGID language, HWND parent)
    : CLangDialog(language, IDD_CANT_COMM, parent) {}

}  // namespace scup
