#pragma once
// Removing the blanks that legacy serial numbers of registered equipment carry inside them.
// Reference devices, whose serial number holds the word "WZORCOWY", keep theirs.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/Ui.h"

namespace migracja::engine {
class TDane;
}

namespace migracja::tools {

struct SerialChange {
    std::int32_t sprzetId = 0;
    std::string before;
    std::string after;
};

// Every blank (code 32) is removed from NR_FABRYCZNY of EWIDENCJA_SPRZETU; other white space
// stays. Each changed row is committed on its own in IBTransaction_UN, so rows done before an
// error stay done and a second run finds nothing left to do. onChanged hears of every committed
// row; the first database error propagates.
std::vector<SerialChange> RemoveSerialSpaces(
    engine::TDane& dane, const std::function<void(const SerialChange&)>& onChanged = {});

// The message after a run: how many rows were changed, or that none had a blank.
void ShowSerialCleanupResult(ui::MessageBox& messages, std::size_t changed);

}  // namespace migracja::tools
