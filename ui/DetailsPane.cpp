#include "DetailsPane.h"

#include <shlwapi.h>

#include <algorithm>

#include "common/DirectionMark.h"
#include "common/LangResources.h"
#include "common/Resources.h"
#include "res/updater_ids.h"

namespace scup {
namespace {

constexpr int kMargin = 8;
constexpr int kPictureBox = 96;
constexpr COLORREF kColourKey = RGB(255, 0, 255);
constexpr wchar_t kEditorCode[] = L"PP-SCEDIT50";
// NOMIRRORBITMAP: the pane is painted unmirrored and must not be flipped onto a mirrored window.
constexpr DWORD kCopyUnmirrored = SRCCOPY | 0x80000000;

BYTE Lighter(BYTE value) { return static_cast<BYTE>(255 - (255 - value) / 4); }

Gdiplus::Color ArgbOf(COLORREF colour) {
    return Gdiplus::Color(255, GetRValue(colour), GetGValue(colour), GetBValue(colour));
}

}  // namespace

void DrawKeyedBitmap(HDC dc, const RECT& rect, HBITMAP bitmap) {
    if (!bitmap) return;
    Gdiplus::Bitmap picture(bitmap, nullptr);
    if (picture.GetLastStatus() != Gdiplus::Ok) return;
    const INT width = static_cast<INT>(picture.GetWidth()), height = static_cast<INT>(picture.GetHeight());
    Gdiplus::Graphics graphics(dc);
    Gdiplus::ImageAttributes attributes;
    attributes.SetColorKey(ArgbOf(kColourKey), ArgbOf(kColourKey));
    const Gdiplus::Rect target(rect.left + (rect.right - rect.left - width) / 2,
                               rect.top + (rect.bottom - rect.top - height) / 2, width, height);
    graphics.DrawImage(&picture, target, 0, 0, width, height, Gdiplus::UnitPixel, &attributes);
}

CDetailsPane::CDetailsPane() {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr) != Gdiplus::Ok) m_gdiplusToken = 0;
}

CDetailsPane::~CDetailsPane() {
    Clear();
    if (m_gdiplusToken) Gdiplus::GdiplusShutdown(m_gdiplusToken);
}

void CDetailsPane::Show(const SAUItemRecord& record, LANGID language) {
    Clear();
    m_record = record;
    m_nLanguage = language;
    LoadPicture();
}

void CDetailsPane::Clear() {
    m_picture.reset();
    m_stream.reset();
    m_builtInBitmap.reset();
    m_record.reset();
    m_nBuiltIn = 0;
    m_bColourKey = false;
}

UINT CDetailsPane::PictureWidth() const { return m_picture ? m_picture->GetWidth() : 0; }

void CDetailsPane::LoadPicture() {
    if (!m_gdiplusToken) return;
    const std::vector<BYTE>& bytes = m_record->thumbnail;
    if (!bytes.empty()) {
        m_stream.reset();
        *m_stream.put() = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
        if (m_stream) {
            auto picture = std::make_unique<Gdiplus::Bitmap>(m_stream.get());
            if (picture->GetLastStatus() == Gdiplus::Ok && picture->GetWidth() > 0) {
                m_picture = std::move(picture);
                return;
            }
        }
        m_stream.reset();
    }
    m_nBuiltIn = m_record->info.strId == kEditorCode ? IDB_UPD_DETAILS_EDITOR : IDB_UPD_DETAILS_DEFAULT;
    m_builtInBitmap.reset(static_cast<HBITMAP>(
        LoadImageW(ResourceModule(), MAKEINTRESOURCEW(m_nBuiltIn), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!m_builtInBitmap) return;
    auto picture = std::make_unique<Gdiplus::Bitmap>(m_builtInBitmap.get(), nullptr);
    if (picture->GetLastStatus() != Gdiplus::Ok) return;
    m_picture = std::move(picture);
    m_bColourKey = true;
}

void CDetailsPane::PaintPicture(Gdiplus::Graphics& graphics, const RECT& box) const {
    if (!m_picture) return;
    const double width = m_picture->GetWidth(), height = m_picture->GetHeight();
    const double scale = std::min({1.0, (box.right - box.left) / width, (box.bottom - box.top) / height});
    const int w = static_cast<int>(width * scale), h = static_cast<int>(height * scale);
    const Gdiplus::Rect target(box.left + (box.right - box.left - w) / 2, box.top, w, h);
    Gdiplus::ImageAttributes attributes;
    if (m_bColourKey) attributes.SetColorKey(ArgbOf(kColourKey), ArgbOf(kColourKey));
    graphics.DrawImage(m_picture.get(), target, 0, 0, static_cast<INT>(width), static_cast<INT>(height),
                       Gdiplus::UnitPixel, &attributes);
}

void CDetailsPane::PaintTexts(HDC dc, const RECT& area, const RECT& picture, HFONT normal, HFONT bold,
                              bool rightToLeft) const {
    const SAUItemRecord& record = *m_record;
    // The side follows the window; the reading order follows the text itself.
    const UINT align = (rightToLeft ? DT_RIGHT : DT_LEFT) | (record.bRightToLeft ? DT_RTLREADING : 0) |
                       DT_NOPREFIX | DT_WORDBREAK;
    // A labelled line reads in the window's language, whatever the value.
    const UINT labelled = (align & ~static_cast<UINT>(DT_RTLREADING)) | (rightToLeft ? DT_RTLREADING : 0);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));

    RECT side = area;
    if (rightToLeft)
        side.right = picture.left - kMargin;
    else
        side.left = picture.right + kMargin;
    HGDIOBJ old = SelectObject(dc, bold);
    RECT title = side;
    DrawTextW(dc, record.strTitle.c_str(), -1, &title, align | DT_CALCRECT);
    title.left = side.left;
    title.right = side.right;
    DrawTextW(dc, record.strTitle.c_str(), -1, &title, align);
    SelectObject(dc, normal);
    RECT line = side;
    line.top = title.bottom + 4;
    for (const auto& [label, value] : {std::pair{IDS_UPD_DETAILS_VERSION, &record.strVersion},
                                       std::pair{IDS_UPD_DETAILS_SIZE, &record.strSize}}) {
        if (value->empty()) continue;
        // In a right-to-left line the value ("12 MB") is embedded left to right, or its parts swap.
        const std::wstring shown = rightToLeft ? LedLeftToRight(*value) : *value;
        const std::wstring text = LoadLangString(label, m_nLanguage) + L" " + shown;
        RECT measured = line;
        DrawTextW(dc, text.c_str(), -1, &measured, labelled | DT_CALCRECT);
        DrawTextW(dc, text.c_str(), -1, &line, labelled);
        line.top += measured.bottom - measured.top + 2;
    }
    RECT description = area;
    description.top = std::max<LONG>(picture.bottom, line.top) + kMargin;
    DrawTextW(dc, record.strDescription.c_str(), -1, &description, align | DT_END_ELLIPSIS);
    SelectObject(dc, old);
}

void CDetailsPane::Paint(const DRAWITEMSTRUCT& item, HFONT normal, HFONT bold, bool rightToLeft) const {
    const int width = item.rcItem.right - item.rcItem.left;
    const int height = item.rcItem.bottom - item.rcItem.top;
    if (width <= 0 || height <= 0) return;
    HDC memory = CreateCompatibleDC(item.hDC);
    UniqueBitmap canvas(CreateCompatibleBitmap(item.hDC, width, height));
    HGDIOBJ oldBitmap = SelectObject(memory, canvas.get());
    SetLayout(memory, 0);

    const RECT area{kMargin, kMargin, width - kMargin, height - kMargin};
    RECT picture{area.left, area.top, area.left + kPictureBox, area.top + kPictureBox};
    if (rightToLeft) picture = RECT{area.right - kPictureBox, area.top, area.right, area.top + kPictureBox};
    {
        Gdiplus::Graphics graphics(memory);
        const BYTE r = GetRValue(m_colour), g = GetGValue(m_colour), b = GetBValue(m_colour);
        Gdiplus::LinearGradientBrush gradient(Gdiplus::Point(0, 0), Gdiplus::Point(0, height),
                                              Gdiplus::Color(255, 255, 255, 255),
                                              Gdiplus::Color(255, Lighter(r), Lighter(g), Lighter(b)));
        graphics.FillRectangle(&gradient, 0, 0, width, height);
        if (m_record) PaintPicture(graphics, picture);
    }
    if (m_record) PaintTexts(memory, area, picture, normal, bold, rightToLeft);
    BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, width, height, memory, 0, 0, kCopyUnmirrored);
    SelectObject(memory, oldBitmap);
    DeleteDC(memory);
}

}  // namespace scup
