// Which printers of a driver the firmware transfer can reach, as the spooler of a simulated PC
// lists them: port kind, hidden, offline and bidirectional support decide.
#include <gtest/gtest.h>

#include "install/ConnectedPrinters.h"
#include "local/PrinterDriver.h"
#include "unit/SimulatedPC.h"

namespace {

constexpr wchar_t kDriver[] = L"Corvane QL-LINK";
constexpr DWORD kBidi = 0x800;

class ConnectedPrinters : public ::testing::Test {
  protected:
    void SetUp() override {
        // The spooler lists printers by name: the numbers give their order.
        pc_.AddPrinterQueue(L"Link 1 Hidden", kDriver, kPrinterHidden | kBidi, L"COM3:");
        pc_.AddPrinterQueue(L"Link 2 Offline", kDriver, kPrinterWorkOffline | kBidi, L"USB002");
        pc_.AddPrinterQueue(L"Link 3 One Way", kDriver, 0, L"COM4:");
        pc_.AddPrinterQueue(L"Link 4 Parallel", kDriver, kBidi, L"LPT1:");
        pc_.AddPrinterQueue(L"Link 5 Other Driver", L"Corvane QL-OTHER", kBidi, L"COM6:");
        pc_.AddPrinterQueue(L"Link 6 Usb", kDriver, kBidi, L"usb001");
        pc_.AddPrinterQueue(L"Link 7 Serial", kDriver, kBidi, L"SCCOM2:");
        pc_.AddPrinterQueue(L"Link 8 Network", kDriver, kBidi, L"192.168.0.9");
    }
    testing_support::SimulatedPC pc_;
};

TEST_F(ConnectedPrinters, TheFirstReachablePrinterIsOnAUsbOrSerialPortAndTalksBack) {
    EXPECT_EQ(FindConnectedPrinter(kDriver), L"Link 6 Usb");
    EXPECT_EQ(FindConnectedPrinter(L"Corvane QL-OTHER"), L"Link 5 Other Driver");
    EXPECT_EQ(FindConnectedPrinter(L"Corvane QL-NONE"), L"");
}

TEST_F(ConnectedPrinters, TheConnectedListSkipsHiddenOfflineOneWayAndOtherPorts) {
    std::vector<std::wstring> printers{L"left over"};
    // A queue whose driver the spooler cannot describe counts as one way.
    EXPECT_EQ(ListConnectedPrinters(kDriver, printers), 2);
    EXPECT_EQ(printers, (std::vector<std::wstring>{L"Link 6 Usb", L"Link 7 Serial"}));
}

TEST_F(ConnectedPrinters, TheOnlineListTakesEveryPrinterOfTheDriverThatIsNotOffline) {
    std::vector<std::wstring> printers;
    EXPECT_EQ(ListOnlinePrinters(kDriver, printers), 6);
    EXPECT_EQ(printers, (std::vector<std::wstring>{L"Link 1 Hidden", L"Link 3 One Way", L"Link 4 Parallel",
                                                   L"Link 6 Usb", L"Link 7 Serial", L"Link 8 Network"}));
    EXPECT_EQ(ListOnlinePrinters(L"Corvane QL-NONE", printers), 0);
    EXPECT_TRUE(printers.empty());
}

TEST(TransferPorts, UsbAndSerialPortsInTheirFourSpellings) {
    for (const wchar_t* port : {L"USB001", L"SCUSB3", L"COM11:", L"SCCOM2:", L"com1:"})
        EXPECT_TRUE(IsTransferPort(port)) << port;
    for (const wchar_t* port : {L"LPT1:", L"FILE:", L"", L"US", L"192.168.0.9", L"XCOM1"})
        EXPECT_FALSE(IsTransferPort(port)) << port;
}

}  // namespace
