// The signed statements: their one form, the check of a signature made natively (a known answer)
// and in this process, each refusal of the verifier, and the trust the PC's settings give.

#include <gtest/gtest.h>

#include "TestSigner.h"
#include "TestSupport.h"
#include "common/Profile.h"
#include "common/Text.h"
#include "install/PackageVerifier.h"
#include "install/TrustPolicy.h"

using testing_support::StatementFields;
using testing_support::TestSigner;

namespace {

// Signed with openssl (`openssl dgst -sha256 -sign`, DER turned into r||s) by a key made for this
// test alone; its private half was not kept. The file it signs is "hello package\n".
constexpr char kNativeKey[] =
    "Jql1/zrabi8oNFDuCI9BDkBC9V1kKBGGeLTQRLgvfXey1kS/YqEoEXUKgSBrPlAjQd6WQ5C6J+1vVXxu6juevA==";
constexpr char kNativeStatement[] =
    "ScUpdater statement 1\n"
    "key: d0dbedf344f6bd82\n"
    "package: PP-SCEDIT52\n"
    "spec: ENU_ALL\n"
    "version: 5.2.1\n"
    "model: \n"
    "file: PP-SCEDIT52_ENU_ALL_5.2.1.exe\n"
    "size: 14\n"
    "sha256: 96be2e938a8aeaf30b9195c0abc1d1663239ca1691193b120608329f6e5c30bf\n"
    "expires: 2099-01-01T00:00:00Z\n"
    "replaces: \n"
    "signature: Yuf0p6q99XNklg5HbM8NayILyDu6M7x90Zrp11nehf/Wsfd4eI/sGvcpkXKGQF/Nwt+4yBh2dPaSHP1OaFHClA==\n";
constexpr char kNativeBody[] = "hello package\n";

const SExpectedFile kNativeExpected{L"PP-SCEDIT52", L"ENU_ALL", L"", L"PP-SCEDIT52_ENU_ALL_5.2.1.exe", L""};

CTrustedKeys KeysOf(std::initializer_list<std::string> keys) {
    CTrustedKeys trusted;
    for (const std::string& key : keys) trusted.Add(*CTrustedKeys::FromBase64(scup::FromUtf8(key)));
    return trusted;
}

VerifyFailure Check(const CTrustedKeys& keys, const std::string& bytes, const SExpectedFile& expected,
                    SSignedStatement* out = nullptr) {
    const CPackageVerifier verifier(keys, CPackageVerifier::Now());
    SSignedStatement statement;
    std::wstring detail;
    const VerifyFailure failure = verifier.CheckStatement(bytes, expected, statement, detail);
    if (out) *out = statement;
    return failure;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

class SignedStatementTest : public ::testing::Test {
  protected:
    TestSigner signer_;
    StatementFields fields_;
    void SetUp() override {
        ASSERT_TRUE(signer_.Ready()) << "the platform could not make a P-256 key pair";
        fields_.body = "installer bytes";
    }
    SExpectedFile Expected() const {
        return {scup::FromUtf8(fields_.package), scup::FromUtf8(fields_.spec), scup::FromUtf8(fields_.model),
                scup::FromUtf8(fields_.file), L""};
    }
};

}  // namespace

TEST(SignedStatementKnownAnswer, ANativeSignatureVerifiesAndGivesItsFields) {
    const CTrustedKeys keys = KeysOf({kNativeKey});
    ASSERT_NE(keys.Find(L"d0dbedf344f6bd82"), nullptr) << "the key's name is the start of SHA-256 over X||Y";
    SSignedStatement statement;
    ASSERT_EQ(Check(keys, kNativeStatement, kNativeExpected, &statement), VerifyFailure::None);
    EXPECT_EQ(statement.version, L"5.2.1");
    EXPECT_EQ(statement.size, 14u);
    EXPECT_TRUE(statement.model.empty());

    const std::wstring folder = testing_support::MakeScratchFolder(L"statement-kat");
    const std::wstring file = folder + L"\\PP-SCEDIT52_ENU_ALL_5.2.1.exe";
    testing_support::WriteTextFile(file, kNativeBody);
    EXPECT_EQ(CPackageVerifier::CheckFile(file, statement), VerifyFailure::None);
    testing_support::WriteTextFile(file, "hello packagE\n");
    EXPECT_EQ(CPackageVerifier::CheckFile(file, statement), VerifyFailure::DigestDiffers);
    testing_support::WriteTextFile(file, "hello package\n!");
    EXPECT_EQ(CPackageVerifier::CheckFile(file, statement), VerifyFailure::SizeDiffers);
}

TEST(SignedStatementKnownAnswer, AnyChangeToTheSignedLinesBreaksTheSignature) {
    const CTrustedKeys keys = KeysOf({kNativeKey});
    EXPECT_EQ(Check(keys, Replaced(kNativeStatement, "version: 5.2.1", "version: 5.2.2"),
                    {L"PP-SCEDIT52", L"ENU_ALL", L"", L"PP-SCEDIT52_ENU_ALL_5.2.1.exe", L""}),
              VerifyFailure::BadSignature);
    EXPECT_EQ(Check(keys, Replaced(kNativeStatement, "size: 14", "size: 15"), kNativeExpected),
              VerifyFailure::BadSignature);
    // One bit of the signature itself.
    EXPECT_EQ(Check(keys, Replaced(kNativeStatement, "signature: Yuf0", "signature: Yuf1"), kNativeExpected),
              VerifyFailure::BadSignature);
}

TEST(SignedStatementKnownAnswer, AKeyNotTrustedOrNoKeyAtAllRefuses) {
    TestSigner other;
    EXPECT_EQ(Check(KeysOf({other.PublicKey()}), kNativeStatement, kNativeExpected),
              VerifyFailure::UnknownKey);
    EXPECT_EQ(Check(CTrustedKeys(), kNativeStatement, kNativeExpected), VerifyFailure::UnknownKey);
}

TEST(SignedStatementKnownAnswer, OnlyExactlyTheOneFormIsRead) {
    const CTrustedKeys keys = KeysOf({kNativeKey});
    const std::string statement = kNativeStatement;
    const std::string variants[] = {
        "",
        Replaced(statement, "ScUpdater statement 1", "ScUpdater statement 2"),
        Replaced(statement, "\n", "\r\n"),
        Replaced(statement, "model: \n", ""),
        Replaced(statement, "model: \n", "model: \nmodel: \n"),
        Replaced(statement, "spec: ENU_ALL\nversion: 5.2.1\n", "version: 5.2.1\nspec: ENU_ALL\n"),
        Replaced(statement, "size: 14", "size: 014"),
        Replaced(statement, "size: 14", "size: -14"),
        Replaced(statement, "sha256: 96be", "sha256: 96BE"),
        Replaced(statement, "2099-01-01T00:00:00Z", "2099-02-30T00:00:00Z"),
        Replaced(statement, "2099-01-01T00:00:00Z", "2099-01-01 00:00:00"),
        Replaced(statement, "key: d0db", "key: D0DB"),
        Replaced(statement, "==\n", "=\n"),
        statement + "extra: line\n",
        statement.substr(0, statement.size() - 1),
        Replaced(statement, "file: PP", "file: \x01PP"),
    };
    for (const std::string& variant : variants)
        EXPECT_EQ(Check(keys, variant, kNativeExpected), VerifyFailure::Unreadable) << variant;
    EXPECT_EQ(Check(keys, statement + std::string(kMaxStatementBytes, 'x'), kNativeExpected),
              VerifyFailure::Unreadable);
}

TEST_F(SignedStatementTest, AStatementSignedInThisProcessVerifies) {
    SSignedStatement statement;
    EXPECT_EQ(Check(KeysOf({signer_.PublicKey()}), signer_.Statement(fields_), Expected(), &statement),
              VerifyFailure::None);
    EXPECT_EQ(statement.size, fields_.body.size());
}

TEST_F(SignedStatementTest, AGenuineStatementForAnotherPackageRegionModelOrFileIsRefused) {
    const CTrustedKeys keys = KeysOf({signer_.PublicKey()});
    const std::string statement = signer_.Statement(fields_);
    SExpectedFile other = Expected();
    other.package = L"PP-CONTACT13";
    EXPECT_EQ(Check(keys, statement, other), VerifyFailure::OtherPackage);
    other = Expected();
    other.spec = L"JPN_ALL";
    EXPECT_EQ(Check(keys, statement, other), VerifyFailure::OtherPackage);
    other = Expected();
    other.model = L"SC-300";
    EXPECT_EQ(Check(keys, statement, other), VerifyFailure::OtherPackage);
    other = Expected();
    other.file = L"other.exe";
    EXPECT_EQ(Check(keys, statement, other), VerifyFailure::OtherPackage);
    other = Expected();
    other.version = L"5.2.2";
    EXPECT_EQ(Check(keys, statement, other), VerifyFailure::OtherPackage);
    other.version = L"5.2.1";
    EXPECT_EQ(Check(keys, statement, other), VerifyFailure::None);
}

TEST_F(SignedStatementTest, AStatementPastItsTimeIsRefused) {
    fields_.expires = "2020-01-01T00:00:00Z";
    EXPECT_EQ(Check(KeysOf({signer_.PublicKey()}), signer_.Statement(fields_), Expected()),
              VerifyFailure::Expired);
}

TEST_F(SignedStatementTest, EitherOfTwoTrustedKeysIsTaken) {
    TestSigner second;
    ASSERT_TRUE(second.Ready());
    const CTrustedKeys keys = KeysOf({signer_.PublicKey(), second.PublicKey()});
    EXPECT_EQ(Check(keys, signer_.Statement(fields_), Expected()), VerifyFailure::None);
    EXPECT_EQ(Check(keys, second.Statement(fields_), Expected()), VerifyFailure::None);
    // A statement that names one key but carries the other's signature.
    const std::string message = TestSigner::Unsigned(signer_.KeyId(), fields_);
    EXPECT_EQ(Check(keys, message + "signature: " + second.Sign(message) + "\n", Expected()),
              VerifyFailure::BadSignature);
}

TEST(TrustPolicyTest, TheMakersKeysComeFromTheResourceLibraryAndITAddsItsOwnMachineWide) {
    const std::wstring keptKeys = scup::ReadMachineSettingText(L"SigningKeys");
    const std::wstring keptCheck = scup::ReadMachineSettingText(L"SignatureCheck");
    scup::WriteMachineSettingText(L"SigningKeys", L"");
    scup::WriteMachineSettingText(L"SignatureCheck", L"");
    const STrustPolicy shipped = LoadTrustPolicy();
    EXPECT_EQ(shipped.keys.Count(), 2u) << "the resource library holds two keys of the maker";
    EXPECT_TRUE(shipped.signaturesRequired);

    TestSigner it;
    scup::WriteMachineSettingText(L"SigningKeys", L" not-a-key ; " + scup::FromUtf8(it.PublicKey()) + L";");
    const STrustPolicy withIt = LoadTrustPolicy();
    EXPECT_EQ(withIt.keys.Count(), 3u) << "a line that is no key is left out, the others taken";
    EXPECT_NE(withIt.keys.Find(scup::FromUtf8(it.KeyId())), nullptr);

    // A user's own profile cannot turn the check off; the machine's setting can.
    scup::WriteProfileText(scup::kSettingsSection, L"SignatureCheck", L"off");
    EXPECT_TRUE(LoadTrustPolicy().signaturesRequired);
    scup::WriteMachineSettingText(L"SignatureCheck", L"OFF");
    EXPECT_FALSE(LoadTrustPolicy().signaturesRequired);
    scup::WriteMachineSettingText(L"SignatureCheck", L"anything else");
    EXPECT_TRUE(LoadTrustPolicy().signaturesRequired);

    scup::WriteProfileText(scup::kSettingsSection, L"SignatureCheck", L"");
    scup::WriteMachineSettingText(L"SigningKeys", keptKeys);
    scup::WriteMachineSettingText(L"SignatureCheck", keptCheck);
}
