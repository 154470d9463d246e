#pragma once
// Reading the telephone texts that the legacy data hold glued together: several numbers in one
// text ("022 1234567, 7654321", "1234567, 22" for 1234567 and 1234522), an area code glued to
// the number ("0221234567", "(022) 1234567") or an internal extension behind it
// ("0221234567wew12"). Pure functions on Windows-1250 text; nothing here touches the database.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace migracja::tools {

// The slots of one text: 0 the area code (on entry the row's own NR_KIERUNEK), 1..4 the numbers
// found, 9 the internal extension; 5..8 are never filled by the splitter.
inline constexpr int kPhoneSlotCount = 10;
inline constexpr int kExtensionSlot = 9;
inline constexpr int kMaxPhoneNumbers = 4;
using PhoneSlots = std::array<std::string, kPhoneSlotCount>;

// Two-digit starts of mobile numbers, which are never taken for an area code.
inline constexpr std::array<std::string_view, 8> kMobilePrefixes = {"50", "60", "70", "80",
                                                                    "90", "51", "69", "88"};

// A text of exactly this length may have been cut off at its end by the legacy column.
inline constexpr std::size_t kCutOffLength = 20;

struct AreaCodeSplit {
    std::string areaCode;  // empty when the text does not start with one
    std::string rest;
};

// The area code at the front of a text of more than 8 characters with at least 8 digits after
// a leading "0": "0221234567" gives "022" and "1234567". Mobile numbers keep their digits.
AreaCodeSplit SplitAreaCode(std::string_view s);

// True when slot s holds fewer decimal digits than slot s - 1 (s from 1 to 9).
bool HasFewerDigits(const PhoneSlots& slots, int s);

struct PhoneSplit {
    // The numbers in slots 1..count; 0 when there is nothing to take.
    int count = 0;
    // The text was not understood well enough to be rewritten without losing part of it: more
    // than four characters that belong to no number, more than 20 groups, groups that no number
    // would keep, digits between the extension's marker letters, or several groups of which no
    // number could be made. The count is then 0 and the row is to be left as it is.
    bool unreadable = false;
};

// Splits one text. slots[0] holds the row's area code on entry and the area code to store on
// return; the other slots are overwritten.
PhoneSplit SplitPhoneNumber(std::string_view number, PhoneSlots& slots);

// Whether the row holding `number` is to be rewritten with the result: something was found and
// it is not just the text itself again.
bool NeedsRewrite(const PhoneSplit& split, const PhoneSlots& slots, std::string_view number);

}  // namespace migracja::tools
