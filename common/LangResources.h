#pragma once
// Choosing the resource identifier for a user-interface language, the right-to-left rule for
// message boxes, and localised message boxes.

#include <windows.h>

#include <functional>
#include <string>

namespace scup {

inline constexpr UINT kRtlMessageBoxFlags = MB_RTLREADING | MB_RIGHT;        // 0x180000
inline constexpr UINT kUpdateFlowMessageBoxFlags = MB_TOPMOST | MB_SETFOREGROUND;  // 0x50000

// Offset of the language's copy of every dialog template and text; 0 for languages not listed.
int LanguageResourceOffset(LANGID language);
UINT LangResourceId(UINT baseId, LANGID language);
// The language's copy of a template or menu when the library holds it, else the base (English) one,
// so that a language with a missing copy still gets a window.
UINT LangTemplateId(UINT baseId, LANGID language);
UINT LangMenuId(UINT baseId, LANGID language);
bool IsRightToLeftLanguage(LANGID language);
// Adds the right-to-left flags for Arabic and Hebrew.
UINT LangMessageBoxStyle(UINT style, LANGID language);

// The language's copy of a text, else the base (English) one; empty when the library lacks both.
std::wstring LoadLangString(UINT baseId, LANGID language);
// The application name shown as the caption of its message boxes.
std::wstring AppTitle(LANGID language);

// Message boxes go through one handler so that an automated run can answer them.
using MessageBoxHandler = std::function<int(HWND owner, const std::wstring& text, const std::wstring& caption,
                                            UINT style)>;
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style);

// Tells the user that a window could not be created: the language's text when the library has one,
// else an English text of the program's own (the library itself may be what is missing).
void ShowWindowFailureMessage(LANGID language);

// A message of the update flow: text base + offset, top-most, foreground, right-to-left where needed.
int ShowLangMessage(HWND owner, UINT baseTextId, LANGID language, UINT iconAndButtons);
// The same for a text already made from the language's copy (one with its placeholders filled).
int ShowLangText(HWND owner, const std::wstring& text, LANGID language, UINT iconAndButtons);

}  // namespace scup
