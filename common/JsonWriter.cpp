#include "JsonWriter.h"

#include <cstdio>

namespace scup {

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::string CJsonWriter::Escape(const std::wstring& value) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        char32_t c = static_cast<char32_t>(value[i]) & 0xFFFF;
        if (IsHighSurrogate(c) && i + 1 < value.size() &&
            IsLowSurrogate(static_cast<char32_t>(value[i + 1]) & 0xFFFF)) {
            const char32_t low = static_cast<char32_t>(value[++i]) & 0xFFFF;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            c = 0xFFFD;
        }
        switch (c) {
            case U'"':
                out += "\\\"";
                break;
            case U'\\':
                out += "\\\\";
                break;
            case U'\n':
                out += "\\n";
                break;
            case U'\r':
                out += "\\r";
                break;
            case U'\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof(escaped), "\\u%04x", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    AppendUtf8(out, c);
                }
        }
    }
    return out;
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
