#include "FirmwareTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "common/AUXMLParser.h"
#include "common/AppFiles.h"
#include "common/LangResources.h"
#include "install/FirmTransfer.h"
#include "install/TransferEnvironment.h"
#include "local/AUHistoryLog.h"
#include "res/firmware_ids.h"
#include "common/Pd3Header.h"
#include "unit/DialogDriver.h"
#include "unit/XmlShape.h"

namespace firmware_test {

using testing_support::ClickButton;
using testing_support::FindThreadDialog;
using testing_support::IsEnabled;
using testing_support::TextOf;

Bytes FirmwareData(const SFirmware& firmware) {
    return port_test::Pattern(firmware.dataLength, firmware.seed);
}

std::wstring WriteFile(const std::wstring& folder, const std::wstring& name, const Bytes& bytes) {
    const std::wstring path = folder + L"\\" + name;
    testing_support::WriteTextFile(path, std::string(bytes.begin(), bytes.end()));
    return path;
}

std::wstring WriteFirmware(const std::wstring& folder, const SFirmware& firmware, std::size_t actualData) {
    pd3::Header header;
    header.headerLength = firmware.headerLength;
    header.model = firmware.model;
    header.type = firmware.type;
    header.dataLength = firmware.dataLength;
    header.name = firmware.name;
    if (header.IsLong()) {
        header.version = firmware.version;
        header.spec = firmware.spec;
    }
    const pd3::Block block = header.Encode();
    // A length byte outside 64 to 128 still gets a block of 64 bytes, as a broken file would.
    const std::size_t headerBytes = std::clamp<std::size_t>(firmware.headerLength, 64, 128);
    Bytes bytes(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(headerBytes));
    Bytes data = FirmwareData(firmware);
    if (actualData < data.size()) data.resize(actualData);
    bytes.insert(bytes.end(), data.begin(), data.end());
    std::wstring fileName(firmware.name.begin(), firmware.name.end());
    fileName += L"-" + std::to_wstring(firmware.seed) + L".pd3";
    return WriteFile(folder, fileName, bytes);
}

SAUItemRecord RowFor(const std::wstring& title, const std::wstring& version, const std::wstring& printer) {
    SAUItemRecord row;
    row.info.strName = printer;
    row.info.strCategory = L"FIRM";
    row.strTitle = title;
    row.strVersion = version;
    return row;
}

std::size_t LogMark() { return port_test::SimulatorLog().size(); }

std::vector<std::string> LogSince(std::size_t mark) {
    std::vector<std::string> lines = port_test::SimulatorLog();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(mark, lines.size())));
    return lines;
}

std::size_t FindLine(const std::vector<std::string>& lines, const std::string& prefix, std::size_t from) {
    for (std::size_t i = from; i < lines.size(); ++i)
        if (lines[i].rfind(prefix, 0) == 0) return i;
    return std::string::npos;
}

int CountLines(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

CUserAtScreen::CUserAtScreen(DWORD uiThread, SUserPlan plan)
    : m_uiThread(uiThread), m_plan(plan), m_thread([this] { Watch(); }) {}

CUserAtScreen::~CUserAtScreen() { Stop(); }

SUserSaw CUserAtScreen::Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    return m_saw;
}

void CUserAtScreen::Watch() {
    int retriesLeft = m_plan.retries;
    // A dialog that was answered is waited out, so that it is never answered twice.
    auto answer = [](HWND dialog, int button) {
        ClickButton(dialog, button);
        testing_support::WaitFor([&] { return !testing_support::IsShown(dialog); }, 3000);
    };
    while (!m_stop) {
        if (HWND confirm = FindThreadDialog(m_uiThread, IDC_FIRM_UPDATE_PICTURE)) {
            ++m_saw.confirmations;
            answer(confirm, m_plan.confirm ? IDOK : IDCANCEL);
        }
        if (HWND failure = FindThreadDialog(m_uiThread, IDC_CANT_COMM_TEXT)) {
            ++m_saw.communicationFailures;
            answer(failure, retriesLeft-- > 0 ? IDOK : IDCANCEL);
        }
        if (HWND progress = FindThreadDialog(m_uiThread, IDC_TR_PROGRESS)) LookAtProgress(progress);
        Sleep(5);
    }
}

void CUserAtScreen::LookAtProgress(HWND dialog) {
    const int percent = static_cast<int>(std::wcstol(TextOf(dialog, IDC_TR_PERCENT).c_str(), nullptr, 10));
    m_saw.highestPercent = std::max(m_saw.highestPercent, percent);
    const bool mayCancel = IsEnabled(dialog, IDCANCEL);
    m_saw.cancelEnabledSeen = m_saw.cancelEnabledSeen || mayCancel;
    if (m_plan.cancelAtPercent >= 0 && !m_saw.cancelled && mayCancel && percent >= m_plan.cancelAtPercent) {
        ClickButton(dialog, IDCANCEL);
        m_saw.cancelled = true;
    }
}

std::unique_ptr<testing_support::SimulatedPC>& CTransferTest::PC() {
    static std::unique_ptr<testing_support::SimulatedPC> pc;
    return pc;
}

void CTransferTest::SetUpTestSuite() {
    PC() = std::make_unique<testing_support::SimulatedPC>();
    PC()->AddDriver(kDriver);
    PC()->SetDriverValue(kDriver, L"ModelId", port_test::PrinterModel());
    PC()->InstallInfoLibrary();
}

void CTransferTest::TearDownTestSuite() { PC().reset(); }

void CTransferTest::SetUp() {
    scratch_ = testing_support::MakeScratchFolder(L"firmware");
    data_ = scratch_ + L"\\data\\";
    CAUXMLParser::SetDataFolderSource([this] { return data_; });
    InitHistoryLog();
    SetTransferEnvironment({[this] { return language_; }, [] { return static_cast<LCID>(1041); }});
    mark_ = LogMark();
}

void CTransferTest::TearDown() {
    SetTransferEnvironment({});
    CloseHistoryLog();
    CAUXMLParser::ReleaseHistoryDocument();
    CAUXMLParser::SetDataFolderSource({});
    scup::RemoveFolder(scratch_);
}

int CTransferTest::Transfer(const std::vector<std::wstring>& files,
                            const std::vector<std::wstring>& installNames,
                            const std::vector<const SAUItemRecord*>* rows, SUserPlan plan) {
    CUserAtScreen user(GetCurrentThreadId(), plan);
    const int result = TransferFirmware(kDriver, installNames, files, rows);
    saw_ = user.Stop();
    return result;
}

std::wstring CTransferTest::Firmware(const SFirmware& firmware, std::size_t actualData) {
    return WriteFirmware(scratch_, firmware, actualData);
}

std::wstring CTransferTest::Text(UINT id) const { return scup::LoadLangString(id, language_); }

std::wstring CTransferTest::HistoryShape() const {
    return testing_support::FileExists(HistoryPath()) ? testing_support::ShapeOfFile(HistoryPath()) : L"";
}

std::vector<std::wstring> CTransferTest::PrinterOutcomes() const {
    std::vector<std::wstring> outcomes;
    for (const std::wstring& line : trace_.Lines())
        if (line.rfind(L"Transfer to ", 0) == 0) outcomes.push_back(line);
    return outcomes;
}

}  // namespace firmware_test
