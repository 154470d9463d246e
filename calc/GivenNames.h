#pragma once
// The dictionary of Polish given names that tells a given name from a surname when a person's
// full name is split. The names are upper case Windows-1250 bytes, grouped by length; the list
// itself lives in calc/given_names.txt.

#include <cstddef>
#include <span>
#include <string_view>

namespace migracja::calc {

class GivenNameDictionary {
  public:
    // Words outside these lengths are never given names.
    static constexpr std::size_t kMinLength = 3;
    static constexpr std::size_t kMaxLength = 13;

    // The word must already be in upper case (Windows-1250 rules); constant time.
    static bool Contains(std::string_view upperCaseWord);

    // All names, shortest first.
    static std::span<const std::string_view> Names();
    static std::size_t CountOfLength(std::size_t length);
};

}  // namespace migracja::calc
