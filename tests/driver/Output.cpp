#include "Output.h"

#include <cwchar>
#include <iterator>

namespace scdrive {
namespace {

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    return bytes;
}

void WriteTo(DWORD which, const std::wstring& line) {
    HANDLE stream = GetStdHandle(which);
    if (!stream || stream == INVALID_HANDLE_VALUE) return;
    const std::wstring text = line + L"\n";
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(stream, &mode)) {
        WriteConsoleW(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = ToUtf8(text);
    WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void PrintLine(const std::wstring& line) { WriteTo(STD_OUTPUT_HANDLE, line); }
void PrintError(const std::wstring& line) { WriteTo(STD_ERROR_HANDLE, L"scdrive: " + line); }

std::wstring FormatHandle(HWND window) {
    wchar_t text[32];
    swprintf(text, std::size(text), L"0x%llX", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    return text;
}

}  // namespace scdrive
