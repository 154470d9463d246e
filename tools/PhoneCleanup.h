#pragma once
// Splitting the telephone numbers that sit glued together in one row of TELEFONY: the row keeps
// the first number and gets the area code found in the text; every further number, and an
// internal extension, becomes a row of its own that copies the row's other attributes. Changed
// and new rows are marked 'Migracja-t'.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Values.h"
#include "config/Ui.h"

namespace migracja::engine {
class TDane;
}

namespace migracja::tools {

// The local date and time written into the bookkeeping columns.
using LocalClock = std::function<DateTime()>;

struct NewPhoneRow {
    std::string areaCode;     // NR_KIERUNEK, empty: not written
    std::string number;       // NUMER
    bool extension = false;   // an internal extension: TYP 'Wewnętrzny', no area code
    std::int32_t telId = -1;  // drawn from GEN_TELEFONY; -1 when nothing was written
};

struct PhoneRowChange {
    std::int32_t telId = 0;
    std::string number;       // NUMER as it was
    std::string areaCode;     // NR_KIERUNEK as it was, empty for NULL
    std::string newAreaCode;  // written when not empty
    std::string newNumber;
    std::vector<NewPhoneRow> added;
};

struct UnreadablePhone {
    std::int32_t telId = 0;
    std::string number;
};

struct PhoneSplitRun {
    // Updates plus inserts executed (in a dry run: that would be executed).
    int statements = 0;
    std::vector<PhoneRowChange> changed;
    // Rows whose text could not be read with confidence; they are left as they are.
    std::vector<UnreadablePhone> unreadable;
};

// Finds the candidate rows (a comma in NUMER, a long digit string in NUMER_CYFRY, NUMER
// starting with "0" or "(0"), splits their texts and rewrites them. The update of a row and the
// inserts of its further numbers are committed together in IBTransaction_UN, row by row, so a
// run that fails part-way leaves every row either done or untouched and can simply be run
// again. onChanged hears of every committed row; the first database error propagates. A dry run
// writes nothing and draws no key.
PhoneSplitRun SplitGluedPhoneNumbers(
    engine::TDane& dane, const LocalClock& now, bool dryRun = false,
    const std::function<void(const PhoneRowChange&)>& onChanged = {});

// The message after a run: the count of statements, or that nothing was found.
void ShowPhoneSplitResult(ui::MessageBox& messages, const PhoneSplitRun& run);

// The count of rows left unread, said apart from the message so that its text stays the same
// whatever the data hold; empty when every candidate could be read.
std::string UnreadPhonesNote(const PhoneSplitRun& run);

}  // namespace migracja::tools
