// The password decoder on arbitrary stored texts, and the round trip of the encoder on
// arbitrary passwords.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/Password.h"

using migracja::config::DecodePassword;
using migracja::config::EncodePassword;
using migracja::config::PasswordFiller;
using migracja::config::PasswordFormatError;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        volatile std::size_t sink = DecodePassword(text).size();
        (void)sink;
    } catch (const PasswordFormatError&) {
    }
    PasswordFiller filler{};
    for (std::size_t i = 0; i < filler.size() && i < size; ++i) filler[i] = data[i];
    if (DecodePassword(EncodePassword(text, filler)) != text) __builtin_trap();
    return 0;
}
