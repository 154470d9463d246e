#pragma once
// Settles the owner company, branch and service team against the target database, asking the
// user through a grid window only where the database leaves a choice.

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "config/Ui.h"
#include "context/ContextSteps.h"

namespace migracja::engine {
class TDane;
}

namespace migracja::context {

// The owner marker in REJESTR_FIRM.DBF_UNQ_KEY: two blanks and a zero, so that definitions find
// the owner company with the same lookup they use for migrated companies.
inline constexpr const char* kOwnerMarker = "  0";

class TargetContextService : public ContextSteps {
  public:
    // All four are borrowed and must outlive the service.
    TargetContextService(engine::TDane& dane, engine::TargetContext& context, ui::GridChoice& grid,
                         ui::MessageBox& messages);

    engine::TargetContext& Context() override { return context_; }

    // Adds DBF_UNQ_KEY to REJESTR_FIRM when missing (errors of that propagate), then settles the
    // company when the database has exactly one owner company, and marks it.
    CheckResult CheckOwnerCompany() override;
    // Marks SelectedFirmaId as the owner, or clears the marker everywhere when it is negative.
    // Database errors are rolled back and propagate.
    void MarkOwnerCompany();
    bool ChooseCompany() override;
    bool CheckBranches() override;
    bool ChooseBranch() override;
    CheckResult CheckServiceTeam() override;
    bool ChooseServiceTeam() override;
    bool ShowChoice() override;
    std::string LastCheckError() const override { return lastCheckError_; }

    // The text ShowChoice asks about.
    std::string ChoiceText() const;

    // The rows the choice windows offer, in the windows' order, for a caller that chooses
    // without a window (the command line). Database errors propagate.
    struct Company {
        std::int32_t id = -1;
        std::string shortName, fullName, city;
    };
    struct Branch {
        std::int32_t id = -1;
        std::string name, postalCode, postTown, town, street, house, flat;
    };
    struct Team {
        std::int32_t id = -1;
        std::string prefix, name, sharedRegister;
    };
    std::vector<Company> OwnerCompanies();
    std::vector<Branch> Branches();    // of SelectedFirmaId
    std::vector<Team> ServiceTeams();  // of SelectedFirmaId

    // Settle a row as the windows do when it is picked. A company is marked as the only owner;
    // when the marking fails the earlier choice is kept and the error propagates.
    void TakeCompany(const Company& company);
    void TakeBranch(const Branch& branch);
    void TakeNoBranch();  // "Bez wyboru"
    void TakeTeam(const Team& team);

  private:
    void EnsureUniqueKeyColumn();
    // Keeps the text of the error that failed a check (its read has been rolled back).
    void FailCheck(const std::exception& e);

    engine::TDane& dane_;
    engine::TargetContext& context_;
    ui::GridChoice& grid_;
    ui::MessageBox& messages_;
    std::string lastCheckError_;
};

}  // namespace migracja::context
