#pragma once
// Makes a message box asked to read right to left (MB_RTLREADING, MB_RIGHT) show its text so on
// every platform: some ignore the two flags and draw Arabic or Hebrew text left-aligned in a
// left-to-right paragraph, which puts the full stop and the numbers in the wrong places. While an
// object lives, the next message box created on this thread gets its text control set to read
// right to left and align right. Where the platform honours the flags this changes nothing.

#include <windows.h>

namespace scup {

class CRtlMessageBoxHook {
  public:
    explicit CRtlMessageBoxHook(UINT messageBoxStyle);
    ~CRtlMessageBoxHook();
    CRtlMessageBoxHook(const CRtlMessageBoxHook&) = delete;
    CRtlMessageBoxHook& operator=(const CRtlMessageBoxHook&) = delete;

  private:
    HHOOK m_hHook = nullptr;
};

}  // namespace scup
