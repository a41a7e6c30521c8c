#pragma once
// The updater sends its requests in the PC's ANSI code page without naming it; answers must survive
// the updater's conversion from that same unknown code page.

#include <string>
#include <string_view>

namespace updateserver {

bool IsValidUtf8(std::string_view bytes);

// Windows-1252 bytes as UTF-8. The five bytes that code page leaves undefined map to the control
// characters of the same value, as Windows itself converts them.
std::string Windows1252ToUtf8(std::string_view bytes);

// Request bytes as UTF-8: kept when they already are valid UTF-8 (plain ASCII included), otherwise read
// as Windows-1252, the ANSI code page of the Western European and American systems.
std::string RequestBytesToUtf8(std::string_view bytes);

// A UTF-8 XML text with every character beyond ASCII written as a character reference, so that the
// document reads the same in any code page. Only for text outside tags and attribute values of markup
// whose names are ASCII, which is all this server writes.
std::string XmlAsAscii(std::string_view utf8);

}  // namespace updateserver
