// minisign's files as padsmith reads them, strictly: base64, public keys and their IDs, signatures.
// The texts below were written by Debian's minisign 0.11 (`minisign -G -W`, then `-S` of a file).

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/Base64.h"
#include "trust/MinisignKey.h"
#include "trust/MinisignSignature.h"

namespace padsmith::test {
namespace {

const std::string kPublicKey =
    "untrusted comment: minisign public key BBFFDD80F1BA4677\n"
    "RWR3RrrxgN3/u+lo9SsrjAVNdE91nfppEJZiCx4q3zShLDzm+cs9IrYB\n";
const std::string kSignature =
    "untrusted comment: signature from minisign secret key\n"
    "RUR3RrrxgN3/u7T1tVXpTg6POdnCLRdI2SnOD5liDlBlV+OGX156MOb7UFBpjvsm5pW1Xbn1pRYUtjwmSSeQwS3ISLtxK/NHtwc=\n"
    "trusted comment: timestamp:1796908845\tfile:f.txt\thashed\n"
    "o0Z57uOECk0hfQoS2JFiMAev9vyA2Ki83MU2s8by/DR/2N5IK51RL8ytM0R0QpMOYvlUMx/PsW4ctpNzE6XxCg==\n";

// `text` with its first `from` replaced by `to`.
std::string Edited(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(Base64, OnlyCanonicalTextDecodes) {
    const std::vector<std::pair<std::string, std::string>> good{
        {"", ""}, {"Zg==", "f"}, {"Zm8=", "fo"}, {"Zm9v", "foo"}, {"+/+/", "\xFB\xFF\xBF"}};
    for (const auto& [text, bytes] : good) {
        const auto decoded = DecodeBase64(text);
        ASSERT_TRUE(decoded) << text;
        EXPECT_EQ(std::string(decoded->begin(), decoded->end()), bytes) << text;
    }
    // Short, stray bits under the padding, padding inside, blanks, another alphabet.
    for (const char* bad : {"Zg=", "Zg", "Zh==", "Zm9=", "Zg==Zg==", "Zm9v\n", " Zm9v", "Zm9-", "Zm_v", "====", "Z==="}) {
        EXPECT_FALSE(DecodeBase64(bad)) << bad;
    }
}

TEST(MinisignPublicKey, TheKeyOfMinisignsFileAndNothingElse) {
    trust::MinisignPublicKey key;
    ASSERT_FALSE(trust::ReadMinisignPublicKey(kPublicKey, key));
    // The ID minisign printed in the comment: the file's bytes are little-endian; printed, as
    // minisign does, without leading zeros (revoked lists read it with or without them).
    EXPECT_EQ(trust::FormatKeyId(key.keyId), "BBFFDD80F1BA4677");
    EXPECT_EQ(trust::FormatKeyId(0x0438FD3C8A870D72), "438FD3C8A870D72");
    EXPECT_EQ(key.key[0], 0xE9);  // the first byte after "Ed" and the 8 of the ID
    // A file that passed through Windows, or lost its last line feed, is the same key.
    for (const std::string& same : {Edited(kPublicKey, "\n", "\r\n"), kPublicKey.substr(0, kPublicKey.size() - 1)}) {
        trust::MinisignPublicKey again;
        EXPECT_FALSE(trust::ReadMinisignPublicKey(same, again));
        EXPECT_EQ(again.key, key.key);
    }
    const std::vector<std::pair<std::string, std::string>> wrong{
        {Edited(kPublicKey, "untrusted comment: ", "comment: "), "first line"},
        {kPublicKey + "\n", "two lines"},
        {kPublicKey.substr(kPublicKey.find('\n') + 1), "two lines"},
        {Edited(kPublicKey, "RWR3", "RUR3"), "not Ed25519"},                 // "ED": a signature's algorithm
        {Edited(kPublicKey, "IrYB", ""), "not 42 bytes"},                 // three bytes short
        {Edited(kPublicKey, "u+lo", "u-lo"), "not 42 bytes"},
        {std::string(3000, 'a'), "longer than"},
    };
    for (const auto& [text, why] : wrong) {
        const Error error = trust::ReadMinisignPublicKey(text, key);
        EXPECT_EQ(error.kind, ErrorKind::kRejected) << text;
        EXPECT_NE(error.message.find(why), std::string::npos) << error.message;
    }
}

TEST(MinisignSignature, FourLinesInTheirOrderAndNothingElse) {
    trust::MinisignSignature signature;
    ASSERT_FALSE(trust::ReadMinisignSignature(kSignature, signature));
    EXPECT_TRUE(signature.prehashed);
    EXPECT_EQ(trust::FormatKeyId(signature.keyId), "BBFFDD80F1BA4677");
    EXPECT_EQ(signature.trustedComment, "timestamp:1796908845\tfile:f.txt\thashed");
    ASSERT_FALSE(trust::ReadMinisignSignature(Edited(kSignature, "RUR3", "RWR3"), signature));
    EXPECT_FALSE(signature.prehashed);  // "Ed": legacy

    const std::vector<std::pair<std::string, std::string>> wrong{
        {Edited(kSignature, "untrusted comment: ", "untrusted: "), "first line"},
        {Edited(kSignature, "trusted comment: t", "trusted comment:t"), "third line"},
        {Edited(kSignature, "RUR3", "RXR3"), "neither"},
        {Edited(kSignature, "Htwc=", "Htw=="), "second line"},
        {Edited(kSignature, "Cg==", "Ch=="), "fourth line"},  // stray bits under the padding
        {kSignature + "\n", "four lines"},
        {Edited(kSignature, "hashed", std::string("hash\0ed", 7)), "four lines"},
        {Edited(kSignature, "timestamp", std::string(11000, 't')), "longer than"},
    };
    for (const auto& [text, why] : wrong) {
        const Error error = trust::ReadMinisignSignature(text, signature);
        EXPECT_EQ(error.kind, ErrorKind::kRejected);
        EXPECT_NE(error.message.find(why), std::string::npos) << error.message;
    }
}

}  // namespace
}  // namespace padsmith::test
