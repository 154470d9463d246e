#include <cryptopp/blowfish.h>
#include <cryptopp/modes.h>
#include <gtest/gtest.h>

#include <string>

#include "base/Text.h"
#include "config/Password.h"

using namespace migracja;
using namespace migracja::config;
using namespace migracja::literals;
namespace pc = migracja::config::password_cipher;

namespace {

std::string Hex(std::string_view bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        out += digits[static_cast<unsigned char>(c) >> 4];
        out += digits[static_cast<unsigned char>(c) & 0x0F];
    }
    return out;
}

std::string FromHex(std::string_view hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return out;
}

std::string AllByteValues() {
    std::string s;
    for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
    return s;
}

const PasswordFiller kFiller = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5};

// Crypto++'s own CFB mode with one-byte feedback, independent of the register loop under test.
std::string ReferenceCfb8(std::string_view key, std::string_view input, bool encrypt) {
    const std::string iv = pc::BlowfishEncryptBlock(key, std::string(8, '\xFF'));
    const auto* k = reinterpret_cast<const CryptoPP::byte*>(key.data());
    const auto* v = reinterpret_cast<const CryptoPP::byte*>(iv.data());
    std::string out(input.size(), '\0');
    auto* o = reinterpret_cast<CryptoPP::byte*>(out.data());
    const auto* in = reinterpret_cast<const CryptoPP::byte*>(input.data());
    if (encrypt) {
        CryptoPP::CFB_Mode<CryptoPP::Blowfish>::Encryption mode(k, key.size(), v, 1);
        mode.ProcessData(o, in, input.size());
    } else {
        CryptoPP::CFB_Mode<CryptoPP::Blowfish>::Decryption mode(k, key.size(), v, 1);
        mode.ProcessData(o, in, input.size());
    }
    return out;
}

}  // namespace

TEST(PasswordCipherTest, Ripemd256GivesThePublishedDigests) {
    EXPECT_EQ(Hex(pc::Ripemd256("")),
              "02ba4c4e5f8ecd1877fc52d64d30e37a2d9774fb1e5d026380ae0168e3c5522d");
    EXPECT_EQ(Hex(pc::Ripemd256("a")),
              "f9333e45d857f5d90a91bab70a1eba0cfb1be4b0783c9acfcd883a9134692925");
    EXPECT_EQ(Hex(pc::Ripemd256("abc")),
              "afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65");
    EXPECT_EQ(Hex(pc::Ripemd256("message digest")),
              "87e971759a1ce47a514d5c914c392c9018c7c46bc14465554afcdf54a5070c0e");
    // The key is the whole digest of the 64 phrase bytes, with no terminator hashed.
    EXPECT_EQ(pc::kKeyPhrase.size(), 64u);
    EXPECT_EQ(pc::Key().size(), 32u);
    EXPECT_EQ(pc::Key(), pc::Ripemd256(pc::kKeyPhrase));
    EXPECT_NE(pc::Key(), pc::Ripemd256(std::string(pc::kKeyPhrase) + '\0'));
}

TEST(PasswordCipherTest, BlowfishGivesThePublishedVectors) {
    struct Vector {
        const char *key, *plain, *cipher;
    };
    const Vector vectors[] = {
        {"0000000000000000", "0000000000000000", "4ef997456198dd78"},
        {"ffffffffffffffff", "ffffffffffffffff", "51866fd5b85ecb8a"},
        {"3000000000000000", "1000000000000001", "7d856f9a613063f2"},
        {"1111111111111111", "1111111111111111", "2466dd878b963c9d"},
        {"0123456789abcdef", "1111111111111111", "61f9c3802281b096"},
        {"fedcba9876543210", "0123456789abcdef", "0aceab0fc6a0a28d"},
        // Longer keys, as the 32-byte digest is.
        {"f0e1d2c3b4a5968778695a4b3c2d1e0f0011223344556677", "fedcba9876543210",
         "05044b62fa52d080"},
    };
    for (const auto& v : vectors)
        EXPECT_EQ(Hex(pc::BlowfishEncryptBlock(FromHex(v.key), FromHex(v.plain))), v.cipher)
            << "key " << v.key;
    EXPECT_THROW(pc::BlowfishEncryptBlock(pc::Key(), "short"), std::invalid_argument);
}

TEST(PasswordCipherTest, Cfb8AgreesWithAnIndependentImplementation) {
    const std::string inputs[] = {
        "", "x", "1234567", "12345678", "123456789", AllByteValues(), "Zażółć gęślą jaźń"_w};
    const std::string otherKey = FromHex("0123456789abcdef");
    for (const auto& input : inputs) {
        EXPECT_EQ(pc::Cfb8Encrypt(pc::Key(), input), ReferenceCfb8(pc::Key(), input, true));
        EXPECT_EQ(pc::Cfb8Decrypt(pc::Key(), input), ReferenceCfb8(pc::Key(), input, false));
        EXPECT_EQ(pc::Cfb8Encrypt(otherKey, input), ReferenceCfb8(otherKey, input, true));
        EXPECT_EQ(pc::Cfb8Decrypt(pc::Key(), pc::Cfb8Encrypt(pc::Key(), input)), input);
    }
    // Byte feedback: a change in one byte leaves the bytes before it alone.
    const std::string a = pc::Cfb8Encrypt(pc::Key(), "abcdefghij");
    const std::string b = pc::Cfb8Encrypt(pc::Key(), "abcdeXghij");
    EXPECT_EQ(a.substr(0, 5), b.substr(0, 5));
    EXPECT_NE(a[5], b[5]);
}

TEST(PasswordCipherTest, Base64FollowsTheStandardAlphabetAndPadding) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(pc::Base64Encode(plain), encoded);
        EXPECT_EQ(pc::Base64Decode(encoded), plain);
    }
    EXPECT_EQ(pc::Base64Decode("Zm9vYg"), "foob");  // padding supplied when missing
    EXPECT_EQ(pc::Base64Decode("Zm9vYmE"), "fooba");
    EXPECT_EQ(pc::Base64Decode(pc::Base64Encode(AllByteValues())), AllByteValues());
    EXPECT_EQ(pc::Base64Encode("\xFB\xFF"), "+/8=");
    // A lone symbol after full groups carries no whole byte.
    EXPECT_EQ(pc::Base64Decode("Zm9vY"), "foo");
}

TEST(PasswordTest, EncodedPasswordsDecodeBack) {
    const std::string passwords[] = {
        "masterkey", "", "a", "Hasło-Żółw 2024"_w, std::string(300, 'q'), AllByteValues()};
    for (const auto& p : passwords) {
        EXPECT_EQ(DecodePassword(EncodePassword(p)), p);
        EXPECT_EQ(DecodePassword(EncodePassword(p, kFiller)), p);
    }
    // Random filler: the same password is stored differently each time.
    EXPECT_NE(EncodePassword("masterkey"), EncodePassword("masterkey"));
}

TEST(PasswordTest, FillerSurroundsThePasswordInThePlaintext) {
    const std::string stored = EncodePassword("tajne", kFiller);
    const std::string plain = pc::Cfb8Decrypt(pc::Key(), pc::Base64Decode(stored));
    ASSERT_EQ(plain.size(), 20u);
    EXPECT_EQ(plain.substr(0, 10), std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A"));
    EXPECT_EQ(plain.substr(10, 5), "tajne");
    EXPECT_EQ(plain.substr(15), "\xF1\xF2\xF3\xF4\xF5");
    EXPECT_EQ(stored, pc::Base64Encode(pc::Cfb8Encrypt(pc::Key(), plain)));
    // The filler is never checked: other filler, same password.
    PasswordFiller other{};
    other.fill(0xAA);
    EXPECT_EQ(DecodePassword(EncodePassword("tajne", other)), "tajne");
}

TEST(PasswordTest, MissingPaddingDecodesLikeThePaddedValue) {
    for (const std::string p : {"abcd", "abcde", "abcdef"}) {
        const std::string stored = EncodePassword(p, kFiller);
        std::string unpadded = stored;
        while (!unpadded.empty() && unpadded.back() == '=') unpadded.pop_back();
        if (p != "abcdef") {  // 21 bytes need no padding
            EXPECT_NE(unpadded, stored);
        }
        EXPECT_EQ(DecodePassword(unpadded), p);
    }
}

TEST(PasswordTest, PlaintextOfFifteenBytesOrFewerGivesTheEmptyPassword) {
    for (std::size_t n : {0u, 1u, 14u, 15u}) {
        const std::string stored =
            pc::Base64Encode(pc::Cfb8Encrypt(pc::Key(), std::string(n, 'z')));
        EXPECT_EQ(DecodePassword(stored), "") << n << " bytes";
    }
    const std::string sixteen = pc::Base64Encode(pc::Cfb8Encrypt(pc::Key(), "0123456789X12345"));
    EXPECT_EQ(DecodePassword(sixteen), "X");
    EXPECT_EQ(DecodePassword(""), "");
}

TEST(PasswordTest, IgnoredCharactersAreStrippedBeforeDecoding) {
    const std::string stored = EncodePassword("masterkey", kFiller);
    const std::string noise = " \t\r\n$()[]{},;:-_\\*\"'";
    std::string spread;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        spread += stored[i];
        spread += noise[i % noise.size()];
    }
    EXPECT_EQ(DecodePassword(spread), "masterkey");
    EXPECT_EQ(DecodePassword("\"" + stored + "\"\r\n"), "masterkey");
    EXPECT_EQ(DecodePassword(noise), "");
}

TEST(PasswordTest, OtherCharactersMakeTheValueInvalid) {
    const std::string stored = EncodePassword("masterkey", kFiller);
    for (const char bad : {'%', '.', '@', '!', '~', '#', '\0', '\xB9'}) {
        const std::string value = stored.substr(0, 4) + bad + stored.substr(4);
        try {
            DecodePassword(value);
            ADD_FAILURE() << "accepted code " << static_cast<int>(static_cast<unsigned char>(bad));
        } catch (const PasswordFormatError& e) {
            EXPECT_EQ(e.character(), bad);
            const std::string message = e.what();
            EXPECT_NE(message.find("jest nieprawidłowe"_w), std::string::npos) << message;
            EXPECT_NE(message.find(std::to_string(static_cast<unsigned char>(bad))),
                      std::string::npos)
                << message;
        }
    }
    try {
        DecodePassword("abc%def");
        ADD_FAILURE();
    } catch (const PasswordFormatError& e) {
        EXPECT_NE(std::string(e.what()).find("'%'"), std::string::npos) << e.what();
    }
}

TEST(PasswordTest, TheDefaultTextDecodesLikeAStoredValue) {
    // "vaultpass" is nine Base64 symbols: two whole groups give six bytes and the lone "s" none,
    // so the plaintext is shorter than the filler and the password is empty.
    EXPECT_EQ(pc::Base64Decode("vaultpass").size(), 6u);
    EXPECT_NO_THROW(DecodePassword("vaultpass"));
    EXPECT_EQ(DecodePassword("vaultpass"), "");
}
