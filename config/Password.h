#pragma once
// The database password is kept in Db.Ini encrypted: Base64 text of Blowfish in 8-bit cipher
// feedback over 10 filler bytes, the password and 5 filler bytes. The key is the RIPEMD-256 digest
// of a fixed phrase and the initialisation vector the encryption of eight 0xFF bytes.
// Passwords are Windows-1250 bytes.

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace migracja::config {

// A stored password holding a character that no encoder writes.
class PasswordFormatError : public std::runtime_error {
  public:
    explicit PasswordFormatError(char character);
    char character() const { return character_; }

  private:
    char character_;
};

inline constexpr std::size_t kPasswordLeadingFiller = 10;
inline constexpr std::size_t kPasswordTrailingFiller = 5;
// The first ten bytes go before the password, the last five after it.
using PasswordFiller = std::array<unsigned char, kPasswordLeadingFiller + kPasswordTrailingFiller>;

// Blanks, line breaks and the punctuation $()[]{},;:-_\*"' are dropped before decoding; any other
// character outside the Base64 alphabet and '=' throws PasswordFormatError.
std::string DecodePassword(std::string_view stored);
// Random filler, so that the same password gives a different stored text each time.
std::string EncodePassword(std::string_view password);
std::string EncodePassword(std::string_view password, const PasswordFiller& filler);

// The building blocks, open so that each can be checked on its own.
namespace password_cipher {

inline constexpr std::string_view kKeyPhrase =
    "Qz#7rT!m2&Lp9^Wx4%Kd8*Hs1%Ny6(Bf3)Jc5_Gv0+Ua7=Ze2~Mo9.Xi4<Rb8Tqa";

// The 32-byte digest.
std::string Ripemd256(std::string_view data);
// The Blowfish key: the digest of the key phrase.
const std::string& Key();
// One 8-byte block under a key of 4 to 56 bytes.
std::string BlowfishEncryptBlock(std::string_view key, std::string_view block);
// 8-bit cipher feedback; the register starts as the encryption of eight 0xFF bytes.
std::string Cfb8Encrypt(std::string_view key, std::string_view plain);
std::string Cfb8Decrypt(std::string_view key, std::string_view cipher);
std::string Base64Encode(std::string_view bytes);
// Drops the ignored characters, pads with '=' to a multiple of four and decodes; '=' marks
// padding (in the first two places of a group it leaves the group without bytes).
std::string Base64Decode(std::string_view text);

}  // namespace password_cipher

}  // namespace migracja::config
