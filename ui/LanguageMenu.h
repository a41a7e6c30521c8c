#pragma once
// The main dialog's language menu: every user-interface language the program speaks, each in its
// own name, so that a user who cannot read the current language still finds theirs.

#include <windows.h>

#include <span>

namespace scup {

struct SInterfaceLanguage {
    LANGID language;
    const wchar_t* ownName;
};

// The user-interface languages in the order the menu lists them.
std::span<const SInterfaceLanguage> InterfaceLanguages();

// Replaces the popup's items by one per language (command = first + index) and checks the current one.
void FillLanguageMenu(HMENU popup, UINT firstCommand, LANGID current);
// The language of a command of that menu; 0 when the command is not one of it.
LANGID LanguageOfCommand(UINT command, UINT firstCommand);

}  // namespace scup
