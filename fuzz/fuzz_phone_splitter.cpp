// The splitter of glued telephone numbers: the first line of the input is the row's area code,
// the rest the telephone text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/PhoneSplitter.h"

using migracja::tools::kMaxPhoneNumbers;
using migracja::tools::PhoneSlots;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    PhoneSlots slots;
    std::string_view number = input;
    if (newline != std::string_view::npos) {
        slots[0] = std::string(input.substr(0, newline));
        number = input.substr(newline + 1);
    }
    const auto split = migracja::tools::SplitPhoneNumber(number, slots);
    if (split.count < 0 || split.count > kMaxPhoneNumbers) __builtin_trap();
    if (split.unreadable && split.count != 0) __builtin_trap();
    volatile bool rewrite = migracja::tools::NeedsRewrite(split, slots, number);
    for (int s = 1; s < migracja::tools::kPhoneSlotCount; ++s)
        rewrite = rewrite || migracja::tools::HasFewerDigits(slots, s);
    (void)migracja::tools::SplitAreaCode(number);
    return 0;
}
