#include "JsonWriter.h"

#include <cwchar>

#include "Text.h"

namespace scup {

// Escaped in UTF-16 (no surrogate is mistaken for a character JSON escapes), then converted as the
// program converts all text to UTF-8: a lone surrogate becomes U+FFFD, so the document stays valid.
std::string CJsonWriter::Escape(const std::wstring& value) {
    std::wstring out;
    out.reserve(value.size());
    for (const wchar_t c : value) {
        switch (c) {
            case L'"':
                out += L"\\\"";
                break;
            case L'\\':
                out += L"\\\\";
                break;
            case L'\n':
                out += L"\\n";
                break;
            case L'\r':
                out += L"\\r";
                break;
            case L'\t':
                out += L"\\t";
                break;
            default:
                if (c < 0x20) {
                    wchar_t escaped[8];
                    std::swprintf(escaped, 8, L"\\u%04x", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return ToUtf8(out);
}

void CJsonWriter::NewLine() {
    m_text += '\n';
    m_text.append(m_hasMember.size() * 2, ' ');
}

// A value inside an array or after a key: the comma and the line break before it.
void CJsonWriter::BeforeValue() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_hasMember.empty()) return;
    if (m_hasMember.back()) m_text += ',';
    m_hasMember.back() = true;
    NewLine();
}

void CJsonWriter::Open(char bracket) {
    BeforeValue();
    m_text += bracket;
    m_hasMember.push_back(false);
}

void CJsonWriter::Close(char bracket) {
    if (m_hasMember.empty()) return;
    const bool hadMembers = m_hasMember.back();
    m_hasMember.pop_back();
    if (hadMembers) NewLine();
    m_text += bracket;
}

CJsonWriter& CJsonWriter::BeginObject() {
    Open('{');
    return *this;
}

CJsonWriter& CJsonWriter::EndObject() {
    Close('}');
    return *this;
}

CJsonWriter& CJsonWriter::BeginArray() {
    Open('[');
    return *this;
}

CJsonWriter& CJsonWriter::EndArray() {
    Close(']');
    return *this;
}

CJsonWriter& CJsonWriter::Key(const std::wstring& name) {
    BeforeValue();
    m_text += '"' + Escape(name) + "\": ";
    m_afterKey = true;
    return *this;
}

CJsonWriter& CJsonWriter::String(const std::wstring& value) {
    BeforeValue();
    m_text += '"' + Escape(value) + '"';
    return *this;
}

CJsonWriter& CJsonWriter::Number(long long value) {
    BeforeValue();
    m_text += std::to_string(value);
    return *this;
}

CJsonWriter& CJsonWriter::Bool(bool value) {
    BeforeValue();
    m_text += value ? "true" : "false";
    return *this;
}

CJsonWriter& CJsonWriter::Null() {
    BeforeValue();
    m_text += "null";
    return *this;
}

std::string CJsonWriter::Text() const { return m_hasMember.empty() ? m_text + '\n' : m_text; }

}  // namespace scup
