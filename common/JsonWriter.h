#pragma once
// Builds a JSON document as UTF-8 text, two spaces an indent: the reports of unattended runs, read
// by the IT department's tools and by people. Values go in the order they are added; strings are
// escaped as JSON asks (quotes, backslashes, control characters), and a lone surrogate of the
// program's UTF-16 text becomes U+FFFD, so that the document is always valid UTF-8.

#include <string>
#include <vector>

namespace scup {

class CJsonWriter {
  public:
    CJsonWriter& BeginObject();
    CJsonWriter& EndObject();
    CJsonWriter& BeginArray();
    CJsonWriter& EndArray();
    // The name of the next value inside an object.
    CJsonWriter& Key(const std::wstring& name);
    CJsonWriter& String(const std::wstring& value);
    CJsonWriter& Number(long long value);
    CJsonWriter& Bool(bool value);
    CJsonWriter& Null();

    // The document so far, with a line break at its end once every object and array is closed.
    std::string Text() const;

    // The text between the quotes of a JSON string, in UTF-8.
    static std::string Escape(const std::wstring& value);

  private:
    void BeforeValue();
    void Open(char bracket);
    void Close(char bracket);
    void NewLine();

    std::string m_text;
    // For each open object or array: whether it has a member yet.
    std::vector<bool> m_hasMember;
    bool m_afterKey = false;
};

}  // namespace scup
