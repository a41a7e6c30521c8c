#include "AUConfigXML.h"

#include <utility>
#include <vector>

#include "common/Trace.h"
#include "local/AUCrypt.h"
#include "local/UnreadableFile.h"

using scup::AUTrace;
using scup::ComPtr;

namespace {

struct ChildText {
    const wchar_t* tag;
    std::wstring value;
};

}  // namespace

std::wstring CAUConfigXML::ConfigFilePath() { return DataFilePath(kFileName); }

bool CAUConfigXML::Initialize() {
    AUTrace(L"Enter : CAUConfigXML::CAUConfigXML::Initialize()");
    std::lock_guard lock(m_documentMutex);
    std::wstring path = ConfigFilePath();
    if (path.empty() || Load(path) != kSuccess) {
        KeepUnreadableFileAside(*this, path);
        CreateConfigDocument();
    }
    return true;
}

// The element's text, or false with the message when it is not there.
static bool ReadChild(const CAUConfigXML& config, IXMLDOMNode* parent, const wchar_t* tag,
                      std::wstring& value, const wchar_t* missingText) {
    ComPtr<IXMLDOMNode> node;
    if (config.GetFristSelectedNode(parent, tag, node) != CAUXMLParser::kSuccess || !node) {
        AUTrace(missingText);
        return false;
    }
    std::wstring text;
    config.GetNodeValue(node.get(), text);
    value = std::move(text);
    return true;
}

int CAUConfigXML::GetProxyInfo(SAUProxyInfo& info) const {
    scup::TraceScope scope(L"CAUConfigXML::GetProxyInfo()");
    std::lock_guard lock(m_documentMutex);
    ComPtr<IXMLDOMNode> proxyInfo;
    if (GetFristSelectedNode(nullptr, L"ProxyInfo", proxyInfo) != kSuccess) return kFailure;
    if (!proxyInfo) {
        AUTrace(L"Failed: retreiving the ProxyInfo node");
        return kFailure;
    }
    if (!ReadChild(*this, proxyInfo.get(), L"ProxyServer", info.strProxyServer,
                   L"Failed: retreiving the ProxyServer node") ||
        !ReadChild(*this, proxyInfo.get(), L"ProxyUser", info.strProxyUser,
                   L"Failed: retreiving the proxyuser node"))
        return kFailure;
    std::wstring storedPassword;
    if (!ReadChild(*this, proxyInfo.get(), L"ProxyPwd", storedPassword,
                   L"Failed: retreiving the ProxyPassword node"))
        return kFailure;
    info.strProxyPwd = storedPassword.empty() ? std::wstring() : CAUCrypt::DecryptData(storedPassword);

    // An absent or empty switch leaves the caller's choice as it was.
    ComPtr<IXMLDOMNode> use;
    std::wstring useText;
    if (GetFristSelectedNode(proxyInfo.get(), L"ProxyUse", use) == kSuccess && use &&
        GetNodeValue(use.get(), useText) == kSuccess && !useText.empty())
        info.bUseProxy = useText == L"true" ? 1 : 0;
    return kSuccess;
}

int CAUConfigXML::GetUIDefaultSelection(std::wstring& printer, std::wstring& language,
                                        std::wstring& uiLanguage) const {
    scup::TraceScope scope(L"CAUConfigXML::GetUIDefaultSelection()");
    std::lock_guard lock(m_documentMutex);
    ComPtr<IXMLDOMNode> selection;
    if (GetFristSelectedNode(nullptr, L"DefaultSelection", selection) != kSuccess || !selection)
        return kFailure;
    if (!ReadChild(*this, selection.get(), L"Printer", printer,
                   L"Failed: retreiving the Default Printer node") ||
        !ReadChild(*this, selection.get(), L"Language", language,
                   L"Failed: retreiving the Default Language node") ||
        !ReadChild(*this, selection.get(), L"UiLanguage", uiLanguage,
                   L"Failed: retreiving the Default Language node"))
        return kFailure;
    return kSuccess;
}

// Writes the children below the container (made when missing); each change saves the file. A
// child that cannot be made or saved fails the write; a failure to make the last one ends it at once.
static int WriteSection(CAUConfigXML& config, const wchar_t* containerTag,
                        const std::vector<ChildText>& children, const wchar_t* successText,
                        const wchar_t* failureText) {
    const std::wstring fileName = CAUConfigXML::kFileName;
    ComPtr<IXMLDOMNode> container;
    if (config.GetFristSelectedNode(nullptr, containerTag, container) != CAUXMLParser::kSuccess ||
        !container) {
        if (config.CreateNode(nullptr, containerTag, L"", fileName, &container) != CAUXMLParser::kSuccess ||
            !container)
            return CAUXMLParser::kFailure;
    }
    bool failed = false;
    for (size_t i = 0; i < children.size(); ++i) {
        ComPtr<IXMLDOMNode> child;
        if (config.GetFristSelectedNode(container.get(), children[i].tag, child) == CAUXMLParser::kSuccess &&
            child) {
            // A text that could not be saved is not set, whatever the document in memory says.
            if (config.SetNodeValue(child.get(), children[i].value, fileName) != CAUXMLParser::kSuccess)
                failed = true;
            continue;
        }
        if (config.CreateNode(container.get(), children[i].tag, children[i].value, fileName) ==
            CAUXMLParser::kSuccess)
            continue;
        failed = true;
        if (i + 1 == children.size()) break;
    }
    AUTrace(failed ? failureText : successText);
    return failed ? CAUXMLParser::kFailure : CAUXMLParser::kSuccess;
}

int CAUConfigXML::SetProxyInfo(const SAUProxyInfo& info) {
    scup::TraceScope scope(L"CAUConfigXML::SetProxyInfo()");
    std::lock_guard lock(m_documentMutex);
    std::wstring storedPassword;
    if (!info.strProxyPwd.empty()) {
        storedPassword = m_cipher ? m_cipher(info.strProxyPwd) : CAUCrypt::EncryptData(info.strProxyPwd);
        if (storedPassword.empty()) {
            AUTrace(L"Failed: the proxy password could not be enciphered; the proxy info is not set");
            return kPasswordNotEnciphered;
        }
    }
    return WriteSection(*this, L"ProxyInfo",
                        {{L"ProxyServer", info.strProxyServer},
                         {L"ProxyUser", info.strProxyUser},
                         {L"ProxyPwd", storedPassword},
                         {L"ProxyUse", info.bUseProxy ? L"true" : L"false"}},
                        L"Success:Proxy Info is Set successfully", L"Failed: Proxy info is not set");
}

void CAUConfigXML::SetPasswordCipher(PasswordCipher cipher) {
    std::lock_guard lock(m_documentMutex);
    m_cipher = std::move(cipher);
}

int CAUConfigXML::SetUIDefaultSelection(const std::wstring& printer, const std::wstring& language,
                                        const std::wstring& uiLanguage) {
    scup::TraceScope scope(L"CAUConfigXML::SetUIDefaultSelection()");
    std::lock_guard lock(m_documentMutex);
    return WriteSection(*this, L"DefaultSelection",
                        {{L"Printer", printer}, {L"Language", language}, {L"UiLanguage", uiLanguage}},
                        L"Success:DefaultSelection Data is Set successfully",
                        L"Failed: DefaultSelection Data is not set");
}
