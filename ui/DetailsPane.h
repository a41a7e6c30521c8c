#pragma once
// The details pane of the main dialog: the selected update's picture, title, version, size and
// description over a gradient. The picture is the update's own thumbnail, decoded from its bytes,
// or a built-in picture of the resource library drawn with its colour key. Part of the main
// dialog, used on the main thread only.

#include <windows.h>
// After windows.h, which it builds on.
#include <objidl.h>
// After objidl.h, whose property types it uses.
#include <gdiplus.h>

#include <memory>
#include <optional>

#include "common/Handles.h"
#include "install/UpdateItemRecord.h"

namespace scup {

// Draws the bitmap centred in the rectangle, leaving out its magenta colour key (GDI+ must have
// been started).
void DrawKeyedBitmap(HDC dc, const RECT& rect, HBITMAP bitmap);

class CDetailsPane {
  public:
    CDetailsPane();
    ~CDetailsPane();
    CDetailsPane(const CDetailsPane&) = delete;
    CDetailsPane& operator=(const CDetailsPane&) = delete;

    void Show(const SAUItemRecord& record, LANGID language);
    void Clear();
    bool HasContent() const { return m_record.has_value(); }
    const SAUItemRecord* Record() const { return m_record ? &*m_record : nullptr; }
    // The picture shown: the thumbnail when its bytes decode, else the built-in one.
    bool ShowsThumbnail() const { return m_picture && !m_bColourKey; }
    UINT PictureWidth() const;
    UINT BuiltInPicture() const { return m_nBuiltIn; }

    void SetColour(COLORREF colour) { m_colour = colour; }
    // Paints into the owner-drawn control; rightToLeft mirrors the layout.
    void Paint(const DRAWITEMSTRUCT& item, HFONT normal, HFONT bold, bool rightToLeft) const;

  private:
    void LoadPicture();
    void PaintPicture(Gdiplus::Graphics& graphics, const RECT& box) const;
    void PaintTexts(HDC dc, const RECT& area, const RECT& picture, HFONT normal, HFONT bold,
                    bool rightToLeft) const;

    ULONG_PTR m_gdiplusToken = 0;
    std::optional<SAUItemRecord> m_record;
    LANGID m_nLanguage = 0;
    ComPtr<IStream> m_stream;  // a picture decoded from a stream reads it for as long as it lives
    std::unique_ptr<Gdiplus::Bitmap> m_picture;
    UniqueBitmap m_builtInBitmap;
    UINT m_nBuiltIn = 0;
    bool m_bColourKey = false;
    COLORREF m_colour = RGB(127, 157, 185);
};

}  // namespace scup
