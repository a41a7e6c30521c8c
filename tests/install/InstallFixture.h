#pragma once
// What the download and install tests share: a data folder of their own with its download
// folder, the local and server data pointed at a scripted update server, the updater's owner
// with the program's real unzip library, message boxes answered and recorded, and clean-up of
// the registry keys that installers and tests write.

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "FakeListView.h"
#include "ScriptedHttpServer.h"
#include "TestSigner.h"
#include "TestSupport.h"
#include "app/ScUpdaterApp.h"
#include "install/AUFileUpdater.h"
#include "install/AUUpdaterOwner.h"
#include "local/AULocalData.h"
#include "server/AUServerData.h"

namespace testing_support {

// A description package: "data.xml" (or the given name) with the package type and title.
std::string DescriptionPackage(const std::string& type, const std::string& title = "Package",
                               const std::string& dataName = "data.xml", const std::string& version = "1.0");
// A file update answer naming the description package's address; versionCheck 1 means nothing newer.
std::string FileUpdateAnswer(const std::string& id, const std::string& path, int versionCheck = 0);
// An answer without file information.
std::string EmptyFileUpdateAnswer();
// The text of the <Id> element of a file update request, empty for other requests.
std::string RequestedId(const HttpRequestSeen& request);

SAUExtFirmInfo Entry(int sequence, const std::wstring& id, const std::wstring& spec,
                     const std::wstring& installed = L"0", const std::wstring& category = L"PCS");
std::wstring EntryKey(const SAUExtFirmInfo& entry);

// Files directly in a folder (names only).
std::vector<std::wstring> FilesIn(const std::wstring& folder);
// Every file below a folder, as paths relative to it.
std::vector<std::wstring> FilesBelow(const std::wstring& folder);
std::string ReadBinaryFile(const std::wstring& path);

// Removes the maker's product keys and the Office add-in keys (both registry views) that the
// tests and the stand-in installers write, before and after each test.
void RemoveProductKeys();
void SetMachineText(const std::wstring& key, const wchar_t* name, const std::wstring& value);
void CreateMachineKey(const std::wstring& key);

class InstallFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the scripted server with the handler and points the server data at it. As a catalog
    // does, the server lays a statement beside every file the handler serves (its address with
    // ".sig"), signed by a key the PC trusts during the test, for the version OfferVersion gave the
    // package the file's name gives ("<code>_<language>_<region>...", "1.0" when none was given),
    // firmware for the model "Corvane SC-200"; unless signFiles_ is false.
    void StartServer(ScriptedHttpServer::Handler handler);
    void OfferVersion(const std::string& code, const std::string& version);
    // As a PC whose administrator turned the signature check off.
    void TurnSignaturesOff() {
        trusted_.reset();
        trusted_ = std::make_unique<TrustedForTest>(signer_, L"off");
    }
    std::string OfferedVersion(const std::string& code) const;
    // Points the server data at an update server ("http://host:port").
    void UseServer(const std::wstring& base);
    std::unique_ptr<CAUFileUpdater> MakeUpdater();
    // The folder of the download folder where an entry's files go.
    std::wstring EntryFolder(const std::wstring& code, const std::wstring& spec) const {
        return downloadFolder_ + L"\\" + code + L"_" + spec;
    }

    std::wstring scratch_;
    std::wstring dataFolder_;
    std::wstring downloadFolder_;
    std::unique_ptr<ScriptedHttpServer> server_;
    CAULocalData localData_;
    std::unique_ptr<CAUServerData> serverData_;
    std::unique_ptr<CUnzipHolder> unzip_;
    SAUUpdaterOwner owner_;
    FakeListView view_;
    std::unique_ptr<MessageBoxCapture> messages_;
    TestSigner signer_;
    std::unique_ptr<TrustedForTest> trusted_;
    std::atomic<bool> signFiles_{true};

  private:
    mutable std::mutex versionsMutex_;
    std::map<std::string, std::string> versions_;
};

}  // namespace testing_support
