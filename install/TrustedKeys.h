#pragma once
// The public keys whose signatures the program takes, and the check of a signature against them
// (ECDSA P-256 over SHA-256, through CNG). A key is named by the first 8 bytes of SHA-256 over its
// point X||Y, in hex, as statements name the key that signed them.

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

struct STrustedKey {
    std::wstring id;
    std::array<BYTE, 64> point{};
};

class CTrustedKeys {
  public:
    // A key from its Base64 text (X||Y, 64 bytes); nullopt for any other text.
    static std::optional<STrustedKey> FromBase64(const std::wstring& text);

    // Keys of the same name are kept once.
    void Add(const STrustedKey& key);
    // Every key of a list separated by ';' (blanks around them ignored); false when one of them is no
    // key (the others are still taken).
    bool AddList(const std::wstring& list);
    const STrustedKey* Find(const std::wstring& id) const;
    bool Empty() const { return m_keys.empty(); }
    size_t Count() const { return m_keys.size(); }

    // Whether the key of that name signed the message with that signature; false for a key not held,
    // or when the platform cannot check it.
    bool Verify(const std::wstring& keyId, const std::string& message,
                const std::array<BYTE, 64>& signature) const;

  private:
    std::vector<STrustedKey> m_keys;
};
