#pragma once
// The owner company, branch and service team to which migrated data belong. Chosen once per
// program start and read by the calculation functions for the rest of the program.

#include <cstdint>
#include <string>

namespace migracja::engine {

struct TargetContext {
    std::int32_t SelectedFirmaId = -1;  // FIRMA_ID of the owner company; -1 none
    std::string SelectedFirmaName;
    std::int32_t SelectedMiejsceId = -1;  // MIEJSCE_ID; -1 not chosen, -2 "Bez wyboru"
    std::string SelectedMiejsceName;
    std::int32_t SelectedGsId = -1;  // GS_ID of the service team; -1 none
    std::string SelectedGsName;
    std::string SelectedGsPrefix;
    std::string SelectedGsSharedRegister;  // "T" or "N"
};

}  // namespace migracja::engine
