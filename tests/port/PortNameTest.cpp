#include <gtest/gtest.h>

#include "LineSettings.h"
#include "PortName.h"

namespace scfilo {
namespace {

TEST(PortNames, SerialAndUsbPortsInTheirSpellings) {
    auto com = ParsePortName(L"COM5:");
    ASSERT_TRUE(com);
    EXPECT_EQ(com->kind, PortAddress::Kind::Serial);
    EXPECT_EQ(com->number, 5u);
    EXPECT_EQ(com->name, L"COM5");
    EXPECT_EQ(ParsePortName(L"com12")->number, 12u);
    EXPECT_EQ(ParsePortName(L"SCCOM3:")->name, L"COM3");

    auto usb = ParsePortName(L"USB001");
    ASSERT_TRUE(usb);
    EXPECT_EQ(usb->kind, PortAddress::Kind::Usb);
    EXPECT_EQ(usb->number, 1u);
    EXPECT_EQ(ParsePortName(L"scusb012")->name, L"USB012");
}

TEST(PortNames, FirstDrivablePortOfAListCounts) {
    EXPECT_EQ(ParsePortName(L"LPT1:, COM7:,COM8:")->number, 7u);
    EXPECT_EQ(ParsePortName(L"FILE:,USB002")->kind, PortAddress::Kind::Usb);
}

TEST(PortNames, OtherPortsAreNotOurs) {
    for (const wchar_t* text : {L"", L"LPT1:", L"FILE:", L"COM", L"COM0:", L"COM257", L"COM5X", L"COM-1",
                                L"USB", L"USB0001", L"CUPS:printer", L"\\\\server\\queue", L"COMX1"})
        EXPECT_FALSE(ParsePortName(text)) << std::wstring(text).size();
}

TEST(LineRate, OnlyPlainNumbersInRange) {
    EXPECT_EQ(ParseBaudRate(L"9600"), 9600u);
    EXPECT_EQ(ParseBaudRate(L"115200"), 115200u);
    for (const wchar_t* text : {L"", L"299", L"4000001", L"9600 ", L"-9600", L"0x2580", L"99999999"})
        EXPECT_FALSE(ParseBaudRate(text));
}

TEST(LineRate, EnvironmentSettingWinsOverTheDefault) {
    SetEnvironmentVariableW(L"SCFILO_BAUD_RATE", L"57600");
    EXPECT_EQ(ConfiguredBaudRate(), 57600u);
    SetEnvironmentVariableW(L"SCFILO_BAUD_RATE", L"fast");
    EXPECT_EQ(ConfiguredBaudRate(), kDefaultBaudRate);
    SetEnvironmentVariableW(L"SCFILO_BAUD_RATE", nullptr);
    EXPECT_EQ(ConfiguredBaudRate(), kDefaultBaudRate);
}

}  // namespace
}  // namespace scfilo
