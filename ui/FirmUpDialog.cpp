#include "FirmUpDialog.h"

#include "common/Resources.h"
#include "res/firmware_ids.h"

namespace scup {
namespace {

// A memory device context with one bitmap selected into it while it lives.
class CSelectedBitmap {
  public:
    explicit CSelectedBitmap(HBITMAP bitmap) : dc_(CreateCompatibleDC(nullptr)) {
        if (dc_) old_ = SelectObject(dc_, bitmap);
    }
    ~CSelectedBitmap() {
        if (!dc_) return;
        SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    CSelectedBitmap(const CSelectedBitmap&) = delete;
    CSelectedBitmap& operator=(const CSelectedBitmap&) = delete;
    HDC dc() const { return dc_; }

  private:
    HDC dc_;
    HGDIOBJ old_ = nullptr;
};

// The picture comes as a bitmap; its top-left pixel gives the colour that shows the dialog behind.
UniqueIcon IconFromBitmap(HBITMAP colour) {
    BITMAP info{};
    if (!GetObjectW(colour, sizeof(info), &info)) return {};
    const int width = info.bmWidth, height = info.bmHeight;
    UniqueBitmap mask(CreateBitmap(width, height, 1, 1, nullptr));
    if (!mask) return {};
    {
        CSelectedBitmap picture(colour), shape(mask.get());
        if (!picture.dc() || !shape.dc()) return {};
        // Pixels of the key colour become 1 in the mask (shown through) and black in the picture.
        SetBkColor(picture.dc(), GetPixel(picture.dc(), 0, 0));
        BitBlt(shape.dc(), 0, 0, width, height, picture.dc(), 0, 0, SRCCOPY);
        // A monochrome source paints its 1 bits in the background colour, its 0 bits in the text colour.
        SetTextColor(picture.dc(), RGB(0, 0, 0));
        SetBkColor(picture.dc(), RGB(255, 255, 255));
        BitBlt(picture.dc(), 0, 0, width, height, shape.dc(), 0, 0, 0x00220326 /* DSna */);
    }
    ICONINFO icon{TRUE, 0, 0, mask.get(), colour};
    return UniqueIcon(CreateIconIndirect(&icon));
}

}  // namespace

CFirmUpDialog::CFirmUpDialog(LANGID language, HWND parent) : CLangDialog(language, IDD_FIRM_UPDATE, parent) {}

BOOL CFirmUpDialog::OnInitDialog() {
    CLangDialog::OnInitDialog();
    UniqueBitmap bitmap(static_cast<HBITMAP>(LoadImageW(
        ResourceModule(), MAKEINTRESOURCEW(IDB_FIRMWARE_UPDATE), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (bitmap) m_picture = IconFromBitmap(bitmap.get());
    if (m_picture)
        SendMessageW(Item(IDC_FIRM_UPDATE_PICTURE), STM_SETICON, reinterpret_cast<WPARAM>(m_picture.get()),
                     0);
    MakeBold(IDC_FIRM_UPDATE_HEADING);
    return TRUE;
}

void CFirmUpDialog::OnDestroy() {
    // The static control does not own the icon it shows.
    SendMessageW(Item(IDC_FIRM_UPDATE_PICTURE), STM_SETICON, 0, 0);
    m_picture.reset();
    CLangDialog::OnDestroy();
}

}  // namespace scup
