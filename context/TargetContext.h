#pragma once
// The owner company, branch and service team to which migrated data belong. Chosen once per
// program start and read by the calculation functions for the rest of the program.

#include <cstdint>
#include <string>

namespace migracja::context {

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

struct CheckResult {
    bool settled = false;  // exactly one row: the choice is made without asking
    bool none = false;     // no row at all
};

// The operations the startup calls, in the order the main window's context choice gives.
class ContextSteps {
  public:
    virtual ~ContextSteps() = default;
    virtual TargetContext& Context() = 0;
    virtual CheckResult CheckOwnerCompany() = 0;
    virtual bool ChooseCompany() = 0;  // false: cancelled
    virtual bool CheckBranches() = 0;  // true: the company has branches
    virtual bool ChooseBranch() = 0;   // false: cancelled
    virtual CheckResult CheckServiceTeam() = 0;
    virtual bool ChooseServiceTeam() = 0;  // false: cancelled
    // "Wybrane dla..": true when the user accepts the choice.
    virtual bool ShowChoice() = 0;
    // The database error swallowed by the last check (owner company, branches or service team),
    // for the caller to log or show; empty when that check ran without one.
    virtual std::string LastCheckError() const { return {}; }
};

}  // namespace migracja::context
