#pragma once
// A data file of the user that exists but could not be loaded is still the user's data: before a
// new document is saved in its place, it is moved aside under a name that says what it is.

#include <string>

#include "common/AUXMLParser.h"

// Moves a non-empty file at path to "<path>.bad" (or "<path>.bad2" ... when earlier ones are
// kept already) and gives the new name. When it cannot be moved, the document is barred from
// saving over it and the result is empty. Missing and empty files are left as they are.
std::wstring KeepUnreadableFileAside(CAUXMLParser& document, const std::wstring& path);
