#pragma once
// Emptying target tables before a migration is repeated: all rows of the chosen tables are
// deleted and their generators reset, except for the owner company in REJESTR_FIRM and the
// top-level category of the fiscal-register models in KATEGORIE, which survive.

#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace migracja::engine {
class TDane;
}

namespace migracja::tools {

// Reference data of the target application, listed but never emptied.
inline constexpr std::array<std::string_view, 12> kProtectedTables = {"BD_VER",
                                                                      "KODY98",
                                                                      "REJESTR_BANKOW",
                                                                      "REJESTR_GMIN",
                                                                      "REJESTR_PANSTW",
                                                                      "REJESTR_WOJEWODZTW",
                                                                      "REJESTR_POWIATOW",
                                                                      "WALUTY",
                                                                      "SZABLONY_WYDRUKOW",
                                                                      "SZABLONY_WYDRUKOW_SQL",
                                                                      "OPISY_POL_BD",
                                                                      "OPISY_DOKUMENTOW"};

inline constexpr std::string_view kOwnerTable = "REJESTR_FIRM";
inline constexpr std::string_view kCategoryTable = "KATEGORIE";
// Generators of emptied tables restart here, well above keys that other data may still name.
inline constexpr std::int32_t kGeneratorRestart = 50000;

// Names compared exactly, as the catalogue spells them.
bool IsProtectedTable(std::string_view name);
// Firebird's own tables: names beginning RDB$, MON$ or SEC$, and any table the catalogue marks
// as a system table (TDane's SystemTables). Deleting from them breaks the database or, for
// MON$ATTACHMENTS, disconnects every other user; they are never listed nor emptied.
bool IsSystemTable(const engine::TDane& dane, std::string_view name);

// What emptying one table did.
struct EmptiedTable {
    std::string table;
    std::uint64_t rowsDeleted = 0;
    bool rowsCommitted = false;  // the DELETE is committed
    std::string generator;       // "GEN_" + table when the database has it, else empty
    std::int64_t generatorValue = 0;
    bool generatorSet = false;  // the SET GENERATOR is committed
    std::int32_t keptId = -1;   // the owner company or the kept category; -1 none
};

// Deletes the rows of one table through IBSQLDel and resets its generator, each statement
// committed on its own in IBTransactionR. keepOwner keeps the row of TDane's SelectedFirmaId,
// keepCategory the category FindKeptCategory names. A database error rolls back the statement
// that failed and propagates; `report` then tells how far the table got.
bool DeleteTableRows(engine::TDane& dane, const std::string& table, bool keepOwner,
                     bool keepCategory, EmptiedTable* report = nullptr);

// The top-level category of the fiscal-register models, which survives; -1 when there is none.
std::int32_t FindKeptCategory(engine::TDane& dane);
// Points the kept category's ID_GRUPY_AKCJI at itself when it is NULL or above it.
void RepairKeptCategory(engine::TDane& dane, std::int32_t category);

// Why the chosen tables cannot be emptied at all (a table that is not in the database, a
// system or protected table, REJESTR_FIRM without a chosen owner company), as a message for
// the user; empty when they can.
std::string DeleteDataRefusal(const engine::TDane& dane, const std::vector<std::string>& tables);

// A table that could not be emptied: everything before it stays emptied.
class DeleteDataError : public std::runtime_error {
  public:
    DeleteDataError(EmptiedTable failed, std::vector<std::string> emptied,
                    std::string databaseMessage);
    // The table that failed; its rowsCommitted tells whether its rows are gone already.
    const EmptiedTable& Failed() const { return failed_; }
    // The tables emptied by this command, in order, the failed one included when its rows went.
    const std::vector<std::string>& Emptied() const { return emptied_; }
    const std::string& DatabaseMessage() const { return databaseMessage_; }

  private:
    EmptiedTable failed_;
    std::vector<std::string> emptied_;
    std::string databaseMessage_;
};

// The Polish message that tells the user where the database stands after a failure.
std::string DeleteFailureText(const DeleteDataError& e);

// Empties the tables in the given order, but REJESTR_FIRM (keeping the owner company) and then
// KATEGORIE (keeping the kept category) after all others. onEmptied hears of every table done.
// Throws std::invalid_argument with DeleteDataRefusal's text before touching anything when the
// tables cannot be emptied, and DeleteDataError at the first table that fails.
std::vector<EmptiedTable> DeleteData(
    engine::TDane& dane, const std::vector<std::string>& tables,
    const std::function<void(const EmptiedTable&)>& onEmptied = {});

}  // namespace migracja::tools
