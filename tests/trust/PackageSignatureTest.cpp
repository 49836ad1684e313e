#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "TrustFixtures.h"
#include "trust/PackageSignature.h"

namespace {

using trustfixtures::Bytes;

const std::string kSha = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
const std::string kKeyId = "fedcba9876543210";
const std::string kSig = kSha + kSha;
const std::string kWellFormed =
    "tramela-package-signature 2\nfile-name: TramelaCoreServer.zip\nfile-size: 150001\n"
    "file-sha256: " +
    kSha + "\npackage-version: 42\nkey-id: " + kKeyId + "\nsignature: " + kSig + "\n";
// The same package in the earlier format, which names no version.
const std::string kFormatOne =
    "tramela-package-signature 1\nfile-name: TramelaCoreServer.zip\n"
    "file-size: 150001\nfile-sha256: " +
    kSha + "\nkey-id: " + kKeyId + "\nsignature: " + kSig + "\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at == std::string::npos) throw std::logic_error("test text lacks " + from);
  return text.replace(at, from.size(), to);
}

std::string SizeLine(const std::string& value) {
  return Replace(kWellFormed, "file-size: 150001", "file-size: " + value);
}

std::string VersionLine(const std::string& value) {
  return Replace(kWellFormed, "package-version: 42", "package-version: " + value);
}

struct TRefusal {
  const char* Name;
  std::string Text;
};

const std::vector<TRefusal> kRefusals = {
    {"Empty", ""},
    {"CrLf", Replace(kWellFormed, "signature 2\n", "signature 2\r\n")},
    {"CrLfOnLastLine", kWellFormed.substr(0, kWellFormed.size() - 1) + "\r\n"},
    {"MissingLastLf", kWellFormed.substr(0, kWellFormed.size() - 1)},
    {"ExtraLine", kWellFormed + "comment: x\n"},
    {"TrailingEmptyLine", kWellFormed + "\n"},
    {"LeadingEmptyLine", "\n" + kWellFormed},
    {"MissingLine", Replace(kWellFormed, "key-id: " + kKeyId + "\n", "")},
    {"ReorderedLines",
     Replace(Replace(kWellFormed, "file-name: TramelaCoreServer.zip\n", ""), "file-size: 150001\n",
             "file-size: 150001\nfile-name: TramelaCoreServer.zip\n")},
    {"FormatOne", kFormatOne},
    {"FormatOneWithAVersionLine", Replace(kWellFormed, "signature 2", "signature 1")},
    {"OtherFormat", Replace(kWellFormed, "signature 2", "signature 3")},
    {"HeaderTrailingSpace", Replace(kWellFormed, "signature 2\n", "signature 2 \n")},
    {"VersionLineMissing", Replace(kWellFormed, "package-version: 42\n", "")},
    {"VersionLineAfterKeyId", Replace(Replace(kWellFormed, "package-version: 42\n", ""),
                                      "signature: ", "package-version: 42\nsignature: ")},
    {"VersionFieldMisnamed", Replace(kWellFormed, "package-version:", "version:")},
    {"VersionZero", VersionLine("0")},
    {"VersionLeadingZero", VersionLine("042")},
    {"VersionPlusSign", VersionLine("+42")},
    {"VersionMinusSign", VersionLine("-42")},
    {"VersionEmpty", VersionLine("")},
    {"VersionHex", VersionLine("0x2a")},
    {"VersionFraction", VersionLine("42.0")},
    {"VersionPastInt32", VersionLine("2147483648")},
    {"VersionFarPastInt32", VersionLine("99999999999999999999")},
    {"SpaceBeforeColon", Replace(kWellFormed, "file-size:", "file-size :")},
    {"TwoSpacesAfterColon", Replace(kWellFormed, "file-size: ", "file-size:  ")},
    {"NoSpaceAfterColon", Replace(kWellFormed, "file-size: ", "file-size:")},
    {"TabAfterColon", Replace(kWellFormed, "file-size: ", "file-size:\t")},
    {"TrailingSpace", Replace(kWellFormed, "150001\n", "150001 \n")},
    {"LeadingSpaceOnLine", Replace(kWellFormed, "key-id:", " key-id:")},
    {"UpperCaseFieldName", Replace(kWellFormed, "key-id:", "Key-id:")},
    {"OtherFileName", Replace(kWellFormed, "TramelaCoreServer.zip", "TramelaCoreServer.exe")},
    {"FileNameOtherCase", Replace(kWellFormed, "TramelaCoreServer.zip", "tramelacoreserver.zip")},
    {"FileNameWithFolder",
     Replace(kWellFormed, "TramelaCoreServer.zip", "../TramelaCoreServer.zip")},
    {"FileNameSuffix", Replace(kWellFormed, "TramelaCoreServer.zip", "TramelaCoreServer.zip.exe")},
    {"SizeLeadingZero", SizeLine("0150001")},
    {"SizePlusSign", SizeLine("+150001")},
    {"SizeMinusSign", SizeLine("-1")},
    {"SizeEmpty", SizeLine("")},
    {"SizeHex", SizeLine("0x10")},
    {"SizePastInt64", SizeLine("9223372036854775808")},
    {"SizeFarPastInt64", SizeLine("99999999999999999999999999")},
    {"UpperCaseSha256",
     Replace(kWellFormed, kSha + "\n", "0123456789ABCDEF" + kSha.substr(16) + "\n")},
    {"ShortSha256", Replace(kWellFormed, kSha + "\n", kSha.substr(1) + "\n")},
    {"LongSha256", Replace(kWellFormed, kSha + "\n", kSha + "0\n")},
    {"UpperCaseKeyId", Replace(kWellFormed, kKeyId, "FEDCBA9876543210")},
    {"ShortKeyId", Replace(kWellFormed, kKeyId, "fedcba987654321")},
    {"NonHexKeyId", Replace(kWellFormed, kKeyId, "fedcba987654321g")},
    {"UpperCaseSignature", Replace(kWellFormed, "signature: 0123", "signature: 0123456789ABCDEF")},
    {"ShortSignature", Replace(kWellFormed, kSig + "\n", kSig.substr(2) + "\n")},
    {"NulInLine", Replace(kWellFormed, "file-name: ", std::string("file-name: \0", 12))},
    {"NonAsciiByte", Replace(kWellFormed, "file-name: ", "file-name: \xC5\xA1")},
    {"ByteOrderMark", "\xEF\xBB\xBF" + kWellFormed},
    {"OverFourKiB", kWellFormed + std::string(kMaxSignatureFileSize, 'x') + "\n"},
};

class PackageSignatureRefusal : public testing::TestWithParam<TRefusal> {};

TEST_P(PackageSignatureRefusal, IsRefusedByTheParser) {
  EXPECT_THROW(ParsePackageSignature(Bytes(GetParam().Text)), EPackageSignatureError);
}

INSTANTIATE_TEST_SUITE_P(Format, PackageSignatureRefusal, testing::ValuesIn(kRefusals),
                         [](const testing::TestParamInfo<TRefusal>& info) {
                           return info.param.Name;
                         });

TEST(PackageSignatureFormat, ParsesEveryField) {
  const TPackageSignature signature = ParsePackageSignature(Bytes(kWellFormed));
  EXPECT_EQ(signature.FileName, "TramelaCoreServer.zip");
  EXPECT_EQ(signature.FileSize, 150001);
  EXPECT_EQ(HexLower(signature.Sha256), kSha);
  EXPECT_EQ(signature.PackageVersion, 42);
  EXPECT_EQ(HexLower(signature.KeyId), kKeyId);
  EXPECT_EQ(HexLower(signature.Signature), kSig);
  // Writing it again gives the same bytes: sign-package and the parser agree.
  EXPECT_EQ(FormatPackageSignature(signature), kWellFormed);
}

TEST(PackageSignatureFormat, AcceptsTheEdgesOfTheSizeRange) {
  EXPECT_EQ(ParsePackageSignature(Bytes(SizeLine("0"))).FileSize, 0);
  EXPECT_EQ(ParsePackageSignature(Bytes(SizeLine("9223372036854775807"))).FileSize,
            9223372036854775807LL);
}

TEST(PackageSignatureFormat, AcceptsTheEdgesOfTheVersionRange) {
  EXPECT_EQ(ParsePackageSignature(Bytes(VersionLine("1"))).PackageVersion, 1);
  EXPECT_EQ(ParsePackageSignature(Bytes(VersionLine("2147483647"))).PackageVersion, 2147483647);
}

TEST(PackageSignatureFormat, AcceptsExactlyFourKiBAndRefusesOneByteMore) {
  // A signature file of 4096 bytes is malformed only by its content, not its size.
  const std::string padded =
      kWellFormed + std::string(kMaxSignatureFileSize - kWellFormed.size() - 1, 'x') + "\n";
  ASSERT_EQ(padded.size(), kMaxSignatureFileSize);
  testsupport::ExpectThrowMessage<EPackageSignatureError>(
      [&] { ParsePackageSignature(Bytes(padded)); }, "Package signature file: more than 7 lines");
  testsupport::ExpectThrowMessage<EPackageSignatureError>(
      [&] { ParsePackageSignature(Bytes(padded + "x")); },
      "Package signature file: larger than 4096 bytes");
}

TEST(PackageSignatureFormat, MessagesNameWhatIsWrong) {
  testsupport::ExpectThrowMessage<EPackageSignatureError>(
      [] { ParsePackageSignature(Bytes(SizeLine("0150001"))); },
      "Package signature file: file-size has a leading zero");
  testsupport::ExpectThrowMessage<EPackageSignatureError>(
      [] {
        ParsePackageSignature(Bytes(Replace(kWellFormed, "signature 2\n", "signature 2\r\n")));
      },
      "Package signature file: line 1 ends with CR LF");
  testsupport::ExpectThrowMessage<EPackageSignatureError>(
      [] { ParsePackageSignature(Bytes(Replace(kWellFormed, "TramelaCoreServer", "Other"))); },
      "Package signature file: file-name is not TramelaCoreServer.zip");
  testsupport::ExpectThrowMessage<EPackageSignatureError>(
      [] { ParsePackageSignature(Bytes(kFormatOne)); },
      "Package signature file: 6 lines instead of 7");
  testsupport::ExpectThrowMessage<EPackageSignatureError>(
      [] { ParsePackageSignature(Bytes(VersionLine("0"))); },
      "Package signature file: package-version is below 1");
  testsupport::ExpectThrowMessage<EPackageSignatureError>(
      [] { ParsePackageSignature(Bytes(VersionLine("2147483648"))); },
      "Package signature file: package-version is too large");
}

// The verifier against keys and signatures openssl made at test time.
class PackageSignatureVerify : public testing::Test {
 protected:
  const std::string FGood = trustfixtures::Read("good.sig");
  const TPackagePublicKey FKeyA = trustfixtures::Key("key-a.txt");
  const TPackagePublicKey FKeyB = trustfixtures::Key("key-b.txt");
  const std::vector<TPackagePublicKey> FBoth{FKeyB, FKeyA};

  void ExpectRefused(const std::string& text, const std::string& message) {
    testsupport::ExpectThrowMessage<EPackageSignatureError>(
        [&] { VerifyPackageSignature(Bytes(text), FBoth); }, "Package signature file: " + message);
  }
  // The good file with one bit of a parsed field flipped, written out again.
  template <typename F>
  std::string Flipped(F flip) {
    TPackageSignature signature = ParsePackageSignature(Bytes(FGood));
    flip(signature);
    return FormatPackageSignature(signature);
  }
  std::string NotVerified() const {
    return "the signature does not verify with key " + HexLower(FKeyA.KeyId);
  }
};

TEST_F(PackageSignatureVerify, AcceptsAPackageSignedByATrustedKey) {
  const TPackageSignature signature = VerifyPackageSignature(Bytes(FGood), FBoth);
  EXPECT_EQ(signature.FileSize, 150001);
  EXPECT_EQ(HexLower(signature.Sha256), trustfixtures::ReferenceSha256("package.zip"));
  EXPECT_EQ(signature.PackageVersion, 42);
  EXPECT_EQ(signature.KeyId, FKeyA.KeyId);
  EXPECT_NO_THROW(VerifyPackageSignature(Bytes(trustfixtures::Read("by-b.sig")), FBoth));
}

TEST_F(PackageSignatureVerify, RefusesOneFlippedBitInAnyLine) {
  ExpectRefused(Replace(FGood, "TramelaCoreServer", "TramelaCoreServes"),
                "file-name is not TramelaCoreServer.zip");
  ExpectRefused(Flipped([](TPackageSignature& s) { s.FileSize ^= 1; }), NotVerified());
  ExpectRefused(Flipped([](TPackageSignature& s) { s.Sha256[31] ^= 0x80; }), NotVerified());
  ExpectRefused(Flipped([](TPackageSignature& s) { s.PackageVersion ^= 1; }), NotVerified());
  ExpectRefused(Flipped([](TPackageSignature& s) { s.Signature[0] ^= 0x01; }), NotVerified());
  ExpectRefused(Flipped([](TPackageSignature& s) { s.Signature[63] ^= 0x40; }), NotVerified());
  TPackageSignature flippedId = ParsePackageSignature(Bytes(FGood));
  flippedId.KeyId[7] ^= 0x01;
  ExpectRefused(FormatPackageSignature(flippedId),
                "key-id " + HexLower(flippedId.KeyId) + " names no trusted key");
}

TEST_F(PackageSignatureVerify, RefusesAnotherKeysSignature) {
  // Signed by key b but naming key a.
  ExpectRefused(trustfixtures::Read("b-claims-a.sig"), NotVerified());
  // Signed by key b, which this build does not trust.
  testsupport::ExpectThrowMessage<EPackageSignatureError>(
      [&] { VerifyPackageSignature(Bytes(trustfixtures::Read("by-b.sig")), std::span(&FKeyA, 1)); },
      "Package signature file: key-id " + HexLower(FKeyB.KeyId) + " names no trusted key");
  EXPECT_THROW(VerifyPackageSignature(Bytes(FGood), {}), EPackageSignatureError);
}

TEST_F(PackageSignatureVerify, RefusesATruncatedFile) {
  for (const std::size_t cut : {std::size_t{1}, std::size_t{2}, std::size_t{65}, FGood.size() / 2})
    EXPECT_THROW(VerifyPackageSignature(Bytes(FGood.substr(0, FGood.size() - cut)), FBoth),
                 EPackageSignatureError)
        << "cut " << cut;
}

TEST_F(PackageSignatureVerify, RefusesRAndSOutsideTheirRange) {
  // The order n of P-256: r or s of 0 or of n and above fail in the platform.
  const std::string order = "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551";
  const std::string zero(64, '0');
  const std::string good = FGood.substr(FGood.size() - 129, 128);
  const std::string r = good.substr(0, 64), s = good.substr(64);
  for (const std::string& rs :
       {zero + s, r + zero, zero + zero, order + s, r + order, std::string(128, 'f')})
    ExpectRefused(Replace(FGood, good, rs), NotVerified());
}

TEST_F(PackageSignatureVerify, FailsClosedOnAKeyThatIsNoCurvePoint) {
  // A damaged key table must not let a signature through, whether the platform
  // refuses the key or the verification.
  TPackagePublicKey broken = FKeyA;
  broken.Point.fill(0);
  EXPECT_THROW(VerifyPackageSignature(Bytes(FGood), std::span(&broken, 1)), EPackageSignatureError);
  broken.Point = FKeyB.Point;
  EXPECT_THROW(VerifyPackageSignature(Bytes(FGood), std::span(&broken, 1)), EPackageSignatureError);
}

TEST(PackageSignatureKeys, BuiltInTableMatchesTheConfiguredKeyFiles) {
  const std::span<const TPackagePublicKey> keys = BuiltInPackageKeys();
  ASSERT_FALSE(keys.empty());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    // openssl's own reading of the same PEM file, made by the fixture script.
    const TPackagePublicKey expected = trustfixtures::Key("built-in-" + std::to_string(i) + ".txt");
    EXPECT_EQ(HexLower(keys[i].KeyId), HexLower(expected.KeyId)) << "key " << i;
    EXPECT_EQ(HexLower(keys[i].Point), HexLower(expected.Point)) << "key " << i;
  }
  EXPECT_FALSE(std::filesystem::exists(trustfixtures::Dir() /
                                       ("built-in-" + std::to_string(keys.size()) + ".txt")))
      << "the build embeds fewer keys than it was configured with";
}

TEST(PackageSignatureKeys, BuiltInFloorIsTheConfiguredOne) {
  const char* configured = std::getenv("TRAMELA_CONFIGURED_MIN_PACKAGE_VERSION");
  ASSERT_NE(configured, nullptr) << "run through ctest";
  EXPECT_EQ(std::to_string(BuiltInMinPackageVersion()), configured);
}

}  // namespace
