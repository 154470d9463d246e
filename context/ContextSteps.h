#pragma once
// The steps of the choice of the owner company, branch and service team at startup; the chosen
// ids live in the data module (TDane::Target), where the calculation functions read them.

#include <string>

#include "engine/TargetContext.h"

namespace migracja::context {

struct CheckResult {
    bool settled = false;  // exactly one row: the choice is made without asking
    bool none = false;     // no row at all
};

// The operations the startup calls, in the order the main window's context choice gives.
class ContextSteps {
  public:
    virtual ~ContextSteps() = default;
    virtual engine::TargetContext& Context() = 0;
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
