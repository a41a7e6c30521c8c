// Runs the tests with the built resource library and a profile of their own.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "common/Handles.h"
#include "common/Profile.h"
#include "common/Resources.h"
#include "ui/InstallDialogs.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    scup::UniqueModule resources(LoadLibraryW((testing_support::BinFolder() + L"ScUpRes.dll").c_str()));
    if (!resources) {
        fprintf(stderr, "ScUpRes.dll not found beside the tests\n");
        return 2;
    }
    scup::SetResourceModule(resources.get());
    scup::SetAppIdentity({L"Corvane Industries, Ltd.", L"ScUpdaterTests"});
    // The test PC trusts the test authority as a company PC trusts its company's: the installers and
    // the updater the tests run are signed by a code-signing certificate it issued.
    if (!testing_support::TrustTestAuthority()) {
        fprintf(stderr, "the test authority %ls cannot be trusted\n", SCUP_TEST_CA_PEM);
        return 2;
    }
    scup::ComInit com;
    // The dialogs of transfers and installer runs, as the application gives them.
    SetInstallDialogs(scup::StandardInstallDialogs());
    int rc = RUN_ALL_TESTS();
    scup::SetResourceModule(nullptr);
    return rc;
}
