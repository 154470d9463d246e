#include "calc/GivenNames.h"

#include <array>
#include <cstdint>

namespace migracja::calc {

namespace {

constexpr std::string_view kNames[] = {
#include "calc/GivenNameList.inc"
};
constexpr std::size_t kNameCount = std::size(kNames);

// Open addressing over a power-of-two table about three times the list, built at compile time,
// so that a lookup costs one hash and a probe or two and nothing is set up at run time.
constexpr std::size_t kSlotCount = 4096;
static_assert(kSlotCount > 2 * kNameCount);
static_assert(kNameCount < UINT16_MAX);

constexpr std::uint32_t Hash(std::string_view word) {
    std::uint32_t h = 2166136261u;  // FNV-1a
    for (const char c : word) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

// Each slot holds the index of a name plus one; 0 marks an empty slot.
using SlotTable = std::array<std::uint16_t, kSlotCount>;

constexpr SlotTable BuildSlots() {
    SlotTable slots{};
    for (std::size_t i = 0; i < kNameCount; ++i) {
        std::size_t s = Hash(kNames[i]) & (kSlotCount - 1);
        while (slots[s] != 0) {
            if (kNames[slots[s] - 1] == kNames[i]) throw "duplicate given name";
            s = (s + 1) & (kSlotCount - 1);
        }
        slots[s] = static_cast<std::uint16_t>(i + 1);
    }
    return slots;
}

constexpr SlotTable kSlots = BuildSlots();

}  // namespace

bool GivenNameDictionary::Contains(std::string_view upperCaseWord) {
    if (upperCaseWord.size() < kMinLength || upperCaseWord.size() > kMaxLength) return false;
    std::size_t s = Hash(upperCaseWord) & (kSlotCount - 1);
    while (kSlots[s] != 0) {
        if (kNames[kSlots[s] - 1] == upperCaseWord) return true;
        s = (s + 1) & (kSlotCount - 1);
    }
    return false;
}

std::span<const std::string_view> GivenNameDictionary::Names() {
    return {kNames, kNameCount};
}

std::size_t GivenNameDictionary::CountOfLength(std::size_t length) {
    std::size_t count = 0;
    for (const std::string_view name : kNames)
        if (name.size() == length) ++count;
    return count;
}

}  // namespace migracja::calc
