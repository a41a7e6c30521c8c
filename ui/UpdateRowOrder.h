#pragma once
// The order of the main dialog's rows: by the first two characters of the package code (so that
// firmware, applications and other kinds stay together), then by title. A title that begins with
// a part in parentheses, such as "(Japan) Printer firmware", is ordered by what follows that part,
// and by the part only among titles that are otherwise equal.

#include <string>

namespace scup {

struct STitleParts {
    std::wstring prefix;  // "(Japan)", or empty
    std::wstring rest;    // the title after it, without the spaces between
};

STitleParts SplitTitlePrefix(const std::wstring& title);

// Below 0 when the first row comes first, 0 when they are equal, above 0 otherwise.
int CompareUpdateRows(const std::wstring& code1, const std::wstring& title1, const std::wstring& code2,
                      const std::wstring& title2);

}  // namespace scup
