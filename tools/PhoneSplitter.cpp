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

namespace {

// One text on its way through the steps of the splitter.
struct TextSplit {
    PhoneSlots& slots;
    std::string text;             // what is left of the text to read
    bool cutOffLength = false;    // the text may have lost its end to the legacy column
    bool lettersDropped = false;  // extension marker letters removed without an extension
    // Word groups are separated by blanks (and an early "/"), list groups by ",", ";", "." and
    // a later "/". A text with two list groups is a list; the other kind is not used then.
    Groups words, lists;
    bool isList = false;
    // The area code found at the start of group 1 rather than at the start of the text, and
    // that group as it was before.
    bool areaFromGroup = false;
    std::string groupBefore;
    int count = 0;  // the numbers in slots 1..count so far

    TextSplit(PhoneSlots& s, std::string_view number)
        : slots(s), text(number), cutOffLength(number.size() == kCutOffLength) {}

    std::string& Area() { return slots[0]; }
    Groups& Chosen() { return isList ? lists : words; }
    void Take(int k) { slots[static_cast<std::size_t>(k)] = Chosen()[static_cast<std::size_t>(k)]; }
    // A short ending replaces the end of the first number: "7654321, 22" gives 7654322.
    void TakeEnding(int k) {
        const std::string& first = Chosen()[1];
        const std::string& end = Chosen()[static_cast<std::size_t>(k)];
        slots[static_cast<std::size_t>(k)] = first.substr(0, first.size() - end.size()) + end;
    }
};

void DropFront(std::string& s) {
    s.front() = ' ';
    s = Trimmed(s);
}

// An area code glued to the front: "0221234567", "(022) 1234567", "022-1234567". Only when the
// row has none of its own.
void SplitLeadingAreaCode(TextSplit& t) {
    std::string& area = t.Area();
    bool parenthesis = false;
    if (StartsWithAny(t.text, "(")) {
        DropFront(t.text);
        parenthesis = true;
    }
    if (!area.empty() || !StartsWithAny(t.text, "0")) return;
    AreaCodeSplit a = SplitAreaCode(t.text);
    area = a.areaCode;
    t.text = Trimmed(a.rest);
    if (!area.empty() && parenthesis) {
        area = Trimmed(area);
        if (area.size() < 5) area.insert(0, "(");
    }
    if (StartsWithAny(t.text, ")")) {
        DropFront(t.text);
        if (!area.empty() && area.size() <= 4) area += ')';
    }
    for (int twice = 0; twice < 2; ++twice) {
        if (StartsWithAny(t.text, "-,")) t.text.front() = ' ';
        t.text = Trimmed(t.text);
    }
}

// An internal extension right behind the marker letters: "1234567wew12". False when the marker
// letters lie so far apart that removing them would take a number with them.
bool TakeExtension(TextSplit& t) {
    std::string& w = t.text;
    const std::string& markers = "wewnętrznyWEWNĘTRZNY"_w;
    const std::size_t j = w.find_first_of(markers);
    const std::size_t i = w.find_last_of(markers);
    if (j == std::string::npos || i + 1 >= w.size()) return true;
    std::size_t end = i + 1;
    while (end < w.size() && (IsDigit(w[end]) || w[end] == '-')) ++end;
    std::string& extension = t.slots[kExtensionSlot];
    extension = w.substr(i + 1, end - i - 1);
    if (DigitCount(std::string_view(w).substr(j, i - j + 1)) > 0) return false;
    t.lettersDropped = extension.empty();
    w.erase(j, end - j);
    return true;
}

// Fills the word and list groups. False for more than 20 groups of a kind or more than four
// characters that belong to no number.
bool ReadGroups(TextSplit& t) {
    const std::string& w = t.text;
    int foreign = 0;
    bool tooMany = false;
    for (std::size_t p = 0; p < w.size() && !tooMany; ++p) {
        const char c = w[p];
        if (IsDigit(c) || c == '-') {
            tooMany = !t.words.Append(c) || !t.lists.Append(c);
        } else if (c == ' ' || (c == '/' && p < 5)) {
            if (!t.words.CurrentEmpty()) t.words.StartNew();
            tooMany = !t.lists.Append(c);
        } else if (c == ',' || c == ';' || c == '.' || c == '/') {
            if (!t.lists.CurrentEmpty()) {
                if (!t.words.CurrentEmpty()) t.words.StartNew();
                t.lists.StartNew();
            }
        } else {
            ++foreign;
        }
    }
    if (tooMany || foreign > 4) return false;
    t.words.TrimAll();
    t.lists.TrimAll();
    t.isList = t.lists.Length(2) > 0;
    return true;
}

void SplitAreaCodeFromFirstGroup(TextSplit& t) {
    if (!t.Area().empty()) return;
    Groups& groups = t.Chosen();
    t.groupBefore = groups[1];
    AreaCodeSplit a = SplitAreaCode(t.groupBefore);
    t.Area() = a.areaCode;
    groups[1] = a.rest;
    t.areaFromGroup = !t.Area().empty();
}

bool IsEnding(std::size_t length) {
    return length >= 1 && length <= 3;
}

// Groups 1 and 2 are full numbers; groups 3 and 4 are taken while they are too.
void TakeFullNumbers(TextSplit& t) {
    t.count = 2;
    t.Take(1);
    t.Take(2);
    if (t.Chosen().Length(3) > 5) {
        t.count = 3;
        t.Take(3);
        if (t.Chosen().Length(4) > 5) {
            t.count = 4;
            t.Take(4);
        }
    }
}

// A first number followed by endings of the numbers after it: "7654321, 22, 5".
void TakeNumberAndEndings(TextSplit& t) {
    const Groups& groups = t.Chosen();
    const std::size_t g2 = groups.Length(2), g3 = groups.Length(3), g4 = groups.Length(4);
    t.count = 1;
    t.Take(1);
    // In a text cut off by the column the last ending may be the start of a number: one digit,
    // or the same first two digits as the first number.
    const bool cutSecond =
        t.cutOffLength && g3 == 0 && (g2 == 1 || SameStart(t.Chosen()[1], t.Chosen()[2]));
    if (!cutSecond) {
        t.count = 2;
        t.TakeEnding(2);
    }
    if (!IsEnding(g3)) return;
    // The same test for a third ending that is the last group.
    const bool cutThird =
        t.cutOffLength && g4 == 0 && (g3 == 1 || SameStart(t.Chosen()[1], t.Chosen()[3]));
    if (cutThird) return;
    t.count = 3;
    t.TakeEnding(3);
    if (IsEnding(g4)) {
        t.count = 4;
        t.TakeEnding(4);
    }
}

void TakeNumbersFromGroups(TextSplit& t) {
    const std::size_t g1 = t.Chosen().Length(1), g2 = t.Chosen().Length(2);
    if (!t.isList) {
        if (g1 > 5 && g2 > 5) TakeFullNumbers(t);
    } else if (g1 > 5 && g2 > 3) {
        TakeFullNumbers(t);
    } else if (g1 > 5 && IsEnding(g2)) {
        TakeNumberAndEndings(t);
    }
}

// One number, the area code split off. False when it cannot be written back without losing
// part of the text.
bool TakeSingleNumber(TextSplit& t) {
    t.count = 1;
    // Writing the text back would drop letters that said what the digits after them are.
    if (t.lettersDropped) return false;
    if (!t.areaFromGroup) {
        t.slots[1] = t.text;
        return true;
    }
    // The text must still hold the area code that group 1 gave up.
    if (t.text.compare(0, t.groupBefore.size(), t.groupBefore) != 0) return false;
    t.slots[1] = t.Chosen()[1] + t.text.substr(t.groupBefore.size());
    return true;
}

// Blanks and a comma at either end of each slot go.
void TidySlots(TextSplit& t) {
    for (int k = 0; k <= t.count; ++k) {
        std::string& s = t.slots[static_cast<std::size_t>(k)];
        if (s.empty()) continue;
        s = Trimmed(s);
        if (StartsWithAny(s, ",")) s.front() = ' ';
        if (!s.empty() && s.back() == ',') s.back() = ' ';
        s = Trimmed(s);
    }
}

// The last number of a text cut off by the column is incomplete.
void DropCutOffNumber(TextSplit& t) {
    const int n = t.count;
    PhoneSlots& slots = t.slots;
    if (n > 1 && t.cutOffLength &&
        slots[static_cast<std::size_t>(n)].size() < slots[static_cast<std::size_t>(n - 1)].size() &&
        HasFewerDigits(slots, n)) {
        slots[static_cast<std::size_t>(n)].clear();
        --t.count;
    }
}

PhoneSplit Unreadable() {
    return PhoneSplit{0, true};
}

}  // namespace

PhoneSplit SplitPhoneNumber(std::string_view number, PhoneSlots& slots) {
    for (std::size_t k = 1; k < slots.size(); ++k) slots[k].clear();
    slots[0] = Trimmed(slots[0]);
    TextSplit t(slots, number);

    SplitLeadingAreaCode(t);
    if (!TakeExtension(t) || !ReadGroups(t)) return Unreadable();
    SplitAreaCodeFromFirstGroup(t);
    TakeNumbersFromGroups(t);
    const bool fromGroups = t.count > 0;
    if (!fromGroups && !t.Area().empty() && !TakeSingleNumber(t)) return Unreadable();
    TidySlots(t);
    DropCutOffNumber(t);

    const std::vector<std::string>& groups = t.Chosen().Items();
    if (fromGroups ? LosesGroups(groups, t.count, t.cutOffLength)
                   : t.count == 0 && NonEmptyCount(groups) > 1)
        return Unreadable();
    return PhoneSplit{t.count, false};
}

bool NeedsRewrite(const PhoneSplit& split, const PhoneSlots& slots, std::string_view number) {
    if (split.unreadable || split.count == 0) return false;
    return !(split.count == 1 && slots[1] == number);
}

}  // namespace migracja::tools
