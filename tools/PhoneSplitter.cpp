#include "tools/PhoneSplitter.h"

#include <algorithm>
#include <vector>

#include "base/Text.h"

namespace migracja::tools {

using namespace migracja::literals;

namespace {

// Groups of a text, at most 20 of each kind.
constexpr std::size_t kMaxGroups = 20;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string Trimmed(std::string_view s) {
    return std::string(text::Trim(s));
}

std::size_t DigitCount(std::string_view s) {
    return static_cast<std::size_t>(std::count_if(s.begin(), s.end(), IsDigit));
}

bool StartsWithAny(std::string_view s, std::string_view characters) {
    return !s.empty() && characters.find(s.front()) != std::string_view::npos;
}

// A list of groups that is filled character by character; a new group begins only when a
// character goes into it, so separators at the end leave no empty group behind.
class Groups {
  public:
    bool CurrentEmpty() const { return pending_ || items_.empty() || items_.back().empty(); }
    void StartNew() { pending_ = true; }
    // False when the character would open one group too many.
    bool Append(char c) {
        if (pending_ || items_.empty()) {
            if (items_.size() == kMaxGroups) return false;
            items_.emplace_back();
            pending_ = false;
        }
        items_.back() += c;
        return true;
    }
    void TrimAll() {
        for (std::string& g : items_) g = Trimmed(g);
    }
    // Group k counted from 1; a group never started is empty.
    std::string& operator[](std::size_t k) {
        if (items_.size() < k) items_.resize(k);
        return items_[k - 1];
    }
    std::size_t Length(std::size_t k) const {
        return k <= items_.size() ? items_[k - 1].size() : 0;
    }
    const std::vector<std::string>& Items() const { return items_; }

  private:
    std::vector<std::string> items_;
    bool pending_ = false;
};

// Numbers made of groups must use every group, or the text would lose part of itself. One
// group at the end may be given up in a text of full column length: it is what is left of a
// number the legacy column cut off.
bool LosesGroups(const std::vector<std::string>& groups, int used, bool cutOffLength) {
    int unused = 0;
    std::size_t lastNonEmpty = 0;
    for (std::size_t k = 0; k < groups.size(); ++k) {
        if (groups[k].empty()) continue;
        lastNonEmpty = k;
        if (k >= static_cast<std::size_t>(used)) ++unused;
    }
    if (unused == 0) return false;
    return !(cutOffLength && unused == 1 && lastNonEmpty >= static_cast<std::size_t>(used));
}

int NonEmptyCount(const std::vector<std::string>& groups) {
    return static_cast<int>(std::count_if(groups.begin(), groups.end(),
                                          [](const std::string& g) { return !g.empty(); }));
}

bool SameStart(std::string_view a, std::string_view b) {
    return a.substr(0, 2) == b.substr(0, 2);
}

}  // namespace

AreaCodeSplit SplitAreaCode(std::string_view s) {
    AreaCodeSplit r{{}, std::string(s)};
    if (s.size() <= 8) return r;
    std::string digits;
    std::size_t second = 0, third = 0;  // positions counted from 1
    for (std::size_t p = 0; p < s.size(); ++p) {
        if (!IsDigit(s[p])) continue;
        digits += s[p];
        if (digits.size() == 2) second = p + 1;
        if (digits.size() == 3) third = p + 1;
    }
    if (digits.size() <= 1) return r;
    std::size_t cut = second;
    if (digits.front() == '0') {
        digits.erase(0, 1);
        cut = third;
    }
    if (digits.size() < 8) return r;
    const std::string_view prefix = std::string_view(digits).substr(0, 2);
    if (std::find(kMobilePrefixes.begin(), kMobilePrefixes.end(), prefix) != kMobilePrefixes.end())
        return r;
    cut = std::min<std::size_t>(cut, 5);
    r.areaCode = Trimmed(s.substr(0, cut));
    std::string rest(s.substr(cut));
    if (StartsWithAny(rest, "-/")) rest.front() = ' ';
    r.rest = Trimmed(rest);
    return r;
}

bool HasFewerDigits(const PhoneSlots& slots, int s) {
    return DigitCount(slots.at(static_cast<std::size_t>(s))) <
           DigitCount(slots.at(static_cast<std::size_t>(s - 1)));
}

PhoneSplit SplitPhoneNumber(std::string_view number, PhoneSlots& slots) {
    PhoneSplit result;
    for (std::size_t k = 1; k < slots.size(); ++k) slots[k].clear();
    std::string& area = slots[0];
    area = Trimmed(area);
    const bool cutOffLength = number.size() == kCutOffLength;

    std::string w(number);
    bool parenthesis = false;
    if (StartsWithAny(w, "(")) {
        w.front() = ' ';
        w = Trimmed(w);
        parenthesis = true;
    }

    // An area code glued to the front: "0221234567", "(022) 1234567", "022-1234567".
    if (area.empty() && StartsWithAny(w, "0")) {
        AreaCodeSplit a = SplitAreaCode(w);
        area = a.areaCode;
        w = Trimmed(a.rest);
        if (!area.empty() && parenthesis) {
            area = Trimmed(area);
            if (area.size() < 5) area.insert(0, "(");
        }
        if (StartsWithAny(w, ")")) {
            w.front() = ' ';
            w = Trimmed(w);
            if (!area.empty() && area.size() <= 4) area += ')';
        }
        for (int twice = 0; twice < 2; ++twice) {
            if (StartsWithAny(w, "-,")) w.front() = ' ';
            w = Trimmed(w);
        }
    }

    // An internal extension right behind the marker letters: "1234567wew12".
    bool lettersDropped = false;  // marker letters removed without an extension behind them
    const std::string& markers = "wewnętrznyWEWNĘTRZNY"_w;
    const std::size_t j = w.find_first_of(markers);
    const std::size_t i = w.find_last_of(markers);
    if (j != std::string::npos && i + 1 < w.size()) {
        std::size_t end = i + 1;
        while (end < w.size() && (IsDigit(w[end]) || w[end] == '-')) ++end;
        slots[kExtensionSlot] = w.substr(i + 1, end - i - 1);
        // Marker letters far apart ("tel 1234567 wew12") would take a number with them.
        if (DigitCount(std::string_view(w).substr(j, i - j + 1)) > 0) {
            result.unreadable = true;
            return result;
        }
        lettersDropped = slots[kExtensionSlot].empty();
        w.erase(j, end - j);
    }

    // Word groups are separated by blanks (and an early "/"), list groups by ",", ";", "." and
    // a later "/".
    Groups words, lists;
    int foreign = 0;
    bool tooMany = false;
    for (std::size_t p = 0; p < w.size() && !tooMany; ++p) {
        const char c = w[p];
        if (IsDigit(c) || c == '-') {
            tooMany = !words.Append(c) || !lists.Append(c);
        } else if (c == ' ' || (c == '/' && p < 5)) {
            if (!words.CurrentEmpty()) words.StartNew();
            tooMany = !lists.Append(c);
        } else if (c == ',' || c == ';' || c == '.' || c == '/') {
            if (!lists.CurrentEmpty()) {
                if (!words.CurrentEmpty()) words.StartNew();
                lists.StartNew();
            }
        } else {
            ++foreign;
        }
    }
    if (tooMany || foreign > 4) {
        result.unreadable = true;
        return result;
    }
    words.TrimAll();
    lists.TrimAll();

    const bool isList = lists.Length(2) > 0;
    Groups& groups = isList ? lists : words;
    int n = 0;
    // The area code found at the start of group 1 rather than at the start of the text, and
    // that group as it was before.
    bool areaFromGroup = false;
    std::string groupBefore;
    if (area.empty()) {
        groupBefore = groups[1];
        AreaCodeSplit a = SplitAreaCode(groupBefore);
        area = a.areaCode;
        groups[1] = a.rest;
        areaFromGroup = !area.empty();
    }
    const std::size_t g1 = groups.Length(1), g2 = groups.Length(2), g3 = groups.Length(3),
                      g4 = groups.Length(4);
    auto take = [&](int k) {
        slots[static_cast<std::size_t>(k)] = groups[static_cast<std::size_t>(k)];
    };
    // A short ending replaces the end of the first number: "7654321, 22" gives 7654322.
    auto ending = [&](int k) {
        const std::string& base = groups[1];
        const std::string& end = groups[static_cast<std::size_t>(k)];
        slots[static_cast<std::size_t>(k)] = base.substr(0, base.size() - end.size()) + end;
    };
    auto isEnding = [](std::size_t length) { return length >= 1 && length <= 3; };
    // Groups 1 and 2 are full numbers; groups 3 and 4 are taken while they are too.
    auto fullNumbers = [&] {
        n = 2;
        take(1);
        take(2);
        if (g3 > 5) {
            n = 3;
            take(3);
            if (g4 > 5) {
                n = 4;
                take(4);
            }
        }
    };
    if (isList) {
        if (g1 > 5 && g2 > 3) {
            fullNumbers();
        } else if (g1 > 5 && isEnding(g2)) {
            n = 1;
            take(1);
            // In a text cut off by the column the last ending may be the start of a number:
            // one digit, or the same first two digits as the first number.
            const bool cutSecond =
                cutOffLength && g3 == 0 && (g2 == 1 || SameStart(groups[1], groups[2]));
            if (!cutSecond) {
                n = 2;
                ending(2);
            }
            if (isEnding(g3)) {
                // The same test for a third ending that is the last group.
                const bool cutThird =
                    cutOffLength && g4 == 0 && (g3 == 1 || SameStart(groups[1], groups[3]));
                if (!cutThird) {
                    n = 3;
                    ending(3);
                    if (isEnding(g4)) {
                        n = 4;
                        ending(4);
                    }
                }
            }
        }
    } else if (g1 > 5 && g2 > 5) {
        fullNumbers();
    }

    const bool fromGroups = n > 0;
    if (n == 0 && !area.empty()) {
        // One number, the area code split off.
        n = 1;
        if (lettersDropped) {
            // Writing the text back would drop letters that said what the digits after them are.
            result.unreadable = true;
            return result;
        }
        if (!areaFromGroup) {
            slots[1] = w;
        } else if (w.compare(0, groupBefore.size(), groupBefore) == 0) {
            // The text still holds the area code that group 1 gave up.
            slots[1] = groups[1] + w.substr(groupBefore.size());
        } else {
            result.unreadable = true;
            return result;
        }
    }

    for (int k = 0; k <= n; ++k) {
        std::string& s = slots[static_cast<std::size_t>(k)];
        if (s.empty()) continue;
        s = Trimmed(s);
        if (StartsWithAny(s, ",")) s.front() = ' ';
        if (!s.empty() && s.back() == ',') s.back() = ' ';
        s = Trimmed(s);
    }

    // The last number of a text cut off by the column is incomplete.
    if (n > 1 && cutOffLength &&
        slots[static_cast<std::size_t>(n)].size() < slots[static_cast<std::size_t>(n - 1)].size() &&
        HasFewerDigits(slots, n)) {
        slots[static_cast<std::size_t>(n)].clear();
        --n;
    }

    if (fromGroups ? LosesGroups(groups.Items(), n, cutOffLength)
                   : n == 0 && NonEmptyCount(groups.Items()) > 1) {
        result.unreadable = true;
        return result;
    }
    result.count = n;
    return result;
}

bool NeedsRewrite(const PhoneSplit& split, const PhoneSlots& slots, std::string_view number) {
    if (split.unreadable || split.count == 0) return false;
    return !(split.count == 1 && slots[1] == number);
}

}  // namespace migracja::tools
