#include "config/Password.h"

#include <cryptopp/blowfish.h>
#include <cryptopp/ripemd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>

#include "base/Text.h"

namespace migracja::config {

using namespace migracja::literals;

namespace password_cipher {

static_assert(kKeyPhrase.size() == 64);

namespace {

constexpr std::size_t kBlockSize = CryptoPP::Blowfish::BLOCKSIZE;
constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// Characters that may surround or split a stored value without belonging to it.
constexpr std::string_view kIgnored = " \t\r\n$()[]{},;:-_\\*\"'";

const CryptoPP::byte* Bytes(std::string_view s) {
    return reinterpret_cast<const CryptoPP::byte*>(s.data());
}

CryptoPP::BlowfishEncryption MakeCipher(std::string_view key) {
    return CryptoPP::BlowfishEncryption(Bytes(key), key.size());
}

// The shift register of 8-bit cipher feedback: each step encrypts the register, uses the first
// byte of the result, and shifts the ciphertext byte in from the right.
template <bool kEncrypt>
std::string Cfb8(std::string_view key, std::string_view input) {
    const auto cipher = MakeCipher(key);
    CryptoPP::byte reg[kBlockSize];
    std::fill(reg, reg + kBlockSize, CryptoPP::byte{0xFF});
    cipher.ProcessBlock(reg);  // the initialisation vector
    std::string output(input.size(), '\0');
    CryptoPP::byte keystream[kBlockSize];
    for (std::size_t i = 0; i < input.size(); ++i) {
        cipher.ProcessBlock(reg, keystream);
        const auto in = static_cast<CryptoPP::byte>(input[i]);
        const auto out = static_cast<CryptoPP::byte>(in ^ keystream[0]);
        output[i] = static_cast<char>(out);
        std::copy(reg + 1, reg + kBlockSize, reg);
        reg[kBlockSize - 1] = kEncrypt ? out : in;
    }
    return output;
}

}  // namespace

std::string Ripemd256(std::string_view data) {
    CryptoPP::RIPEMD256 hash;
    std::string digest(CryptoPP::RIPEMD256::DIGESTSIZE, '\0');
    hash.CalculateDigest(reinterpret_cast<CryptoPP::byte*>(digest.data()), Bytes(data),
                         data.size());
    return digest;
}

const std::string& Key() {
    static const std::string key = Ripemd256(kKeyPhrase);
    return key;
}

std::string BlowfishEncryptBlock(std::string_view key, std::string_view block) {
    if (block.size() != kBlockSize) throw std::invalid_argument("a Blowfish block has 8 bytes");
    std::string out(kBlockSize, '\0');
    MakeCipher(key).ProcessBlock(Bytes(block), reinterpret_cast<CryptoPP::byte*>(out.data()));
    return out;
}

std::string Cfb8Encrypt(std::string_view key, std::string_view plain) {
    return Cfb8<true>(key, plain);
}

std::string Cfb8Decrypt(std::string_view key, std::string_view cipher) {
    return Cfb8<false>(key, cipher);
}

std::string Base64Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

std::string Base64Decode(std::string_view text) {
    std::string symbols;
    symbols.reserve(text.size() + 3);
    for (const char c : text) {
        if (kIgnored.find(c) != std::string_view::npos) continue;
        if (c != '=' && kAlphabet.find(c) == std::string_view::npos) throw PasswordFormatError(c);
        symbols += c;
    }
    while (symbols.size() % 4 != 0) symbols += '=';

    std::string out;
    out.reserve(symbols.size() / 4 * 3);
    for (std::size_t i = 0; i < symbols.size(); i += 4) {
        std::uint32_t group = 0;
        std::size_t dataSymbols = 0;  // symbols before the first '=' of the group
        bool padded = false;
        for (std::size_t k = 0; k < 4; ++k) {
            const char c = symbols[i + k];
            padded = padded || c == '=';
            if (!padded) ++dataSymbols;
            group = (group << 6) | (padded ? 0u : static_cast<std::uint32_t>(kAlphabet.find(c)));
        }
        // Two symbols carry one byte, three carry two, four carry three.
        const std::size_t byteCount = dataSymbols < 2 ? 0 : dataSymbols - 1;
        for (std::size_t k = 0; k < byteCount; ++k)
            out += static_cast<char>((group >> (16 - 8 * k)) & 0xFF);
    }
    return out;
}

}  // namespace password_cipher

namespace {

std::string DescribeCharacter(char c) {
    const auto code = static_cast<unsigned char>(c);
    char buffer[48];
    if (code > 32 && code < 127)
        std::snprintf(buffer, sizeof buffer, "'%c' (kod %u)", c, code);
    else
        std::snprintf(buffer, sizeof buffer, "o kodzie %u", code);
    return buffer;
}

}  // namespace

PasswordFormatError::PasswordFormatError(char character)
    : std::runtime_error(
          "Hasło do bazy danych zapisane w pliku Db.Ini (klucz Password w sekcji [BD_TARVIK]) "
          "jest nieprawidłowe: zawiera znak "_w +
          DescribeCharacter(character) +
          ". Zapisz hasło ponownie poleceniem: migracja-cli dbini write"_w),
      character_(character) {}

std::string DecodePassword(std::string_view stored) {
    const std::string plain =
        password_cipher::Cfb8Decrypt(password_cipher::Key(), password_cipher::Base64Decode(stored));
    constexpr std::size_t kFiller = kPasswordLeadingFiller + kPasswordTrailingFiller;
    if (plain.size() <= kFiller) return {};
    return plain.substr(kPasswordLeadingFiller, plain.size() - kFiller);
}

std::string EncodePassword(std::string_view password, const PasswordFiller& filler) {
    std::string plain;
    plain.reserve(filler.size() + password.size());
    plain.append(filler.begin(), filler.begin() + kPasswordLeadingFiller);
    plain.append(password);
    plain.append(filler.begin() + kPasswordLeadingFiller, filler.end());
    return password_cipher::Base64Encode(
        password_cipher::Cfb8Encrypt(password_cipher::Key(), plain));
}

std::string EncodePassword(std::string_view password) {
    std::random_device random;
    std::uniform_int_distribution<int> byte(0, 255);
    PasswordFiller filler;
    for (auto& b : filler) b = static_cast<unsigned char>(byte(random));
    return EncodePassword(password, filler);
}

}  // namespace migracja::config
