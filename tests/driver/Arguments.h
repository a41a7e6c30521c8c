#pragma once
// A subcommand's arguments: "--name value" options, "--flag" switches and plain positional values.

#include <windows.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace scdrive {

class Arguments {
public:
    // switches: the option names that take no value.
    Arguments(const std::vector<std::wstring>& args, const std::set<std::wstring>& switches);

    bool Valid() const { return m_error.empty(); }
    const std::wstring& Error() const { return m_error; }

    std::optional<std::wstring> Option(const std::wstring& name) const;
    bool Switch(const std::wstring& name) const { return m_switches.count(name) != 0; }
    const std::vector<std::wstring>& Positional() const { return m_positional; }

    // Names given that the subcommand does not know, so that a typo is not silently ignored.
    std::vector<std::wstring> UnknownNames(const std::set<std::wstring>& known) const;

private:
    std::map<std::wstring, std::wstring> m_options;
    std::set<std::wstring> m_switches;
    std::vector<std::wstring> m_positional;
    std::wstring m_error;
};

std::optional<unsigned long> ParseNumber(const std::wstring& text);
// Accepts the hex form that scdrive prints ("0x1A2B") and plain hex digits.
std::optional<HWND> ParseHandle(const std::wstring& text);

}  // namespace scdrive
