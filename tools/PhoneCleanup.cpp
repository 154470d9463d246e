#include "tools/PhoneCleanup.h"

#include <algorithm>
#include <optional>

#include "base/Text.h"
#include "engine/Dane.h"
#include "fb/Fb.h"
#include "tools/PhoneSplitter.h"
#include "tools/SqlText.h"

namespace migracja::tools {

using namespace migracja::literals;

namespace {

constexpr const char* kSelectCandidates =
    "Select * from TELEFONY Where (NUMER Like  '%,%') or (not (NUMER_CYFRY like '%          ')) "
    "or (NUMER Like  '0%')  or (NUMER Like  '(0%') ";
constexpr const char* kAuthor = "'Migracja-t'";

// A candidate row with the attributes its further numbers copy.
struct PhoneRow {
    std::int32_t telId = 0;
    std::string number;
    std::string areaCode;
    std::optional<std::int32_t> poleId, poleIdDodatek, firmaId;
    std::optional<std::string> typ, opis, tabObca, znacznik, tabObcaDodatek;
};

PhoneRow ReadRow(const fb::Query& q) {
    PhoneRow r;
    r.telId = q.FieldByName("TEL_ID").AsInteger();
    r.number = q.FieldByName("NUMER").AsText();
    r.areaCode = q.FieldByName("NR_KIERUNEK").AsText();
    r.poleId = q.FieldByName("POLE_ID").AsOptionalInteger();
    r.poleIdDodatek = q.FieldByName("POLE_ID_DODATEK").AsOptionalInteger();
    r.typ = q.FieldByName("TYP").AsOptionalText();
    r.opis = q.FieldByName("OPIS").AsOptionalText();
    r.tabObca = q.FieldByName("TAB_OBCA").AsOptionalText();
    r.znacznik = q.FieldByName("ZNACZNIK").AsOptionalText();
    r.tabObcaDodatek = q.FieldByName("TAB_OBCA_DODATEK").AsOptionalText();
    // Where telephones are tied to their company by FIRMA_ID, the further numbers keep the tie.
    if (const fb::Field* f = q.FindField("FIRMA_ID")) r.firmaId = f->AsOptionalInteger();
    return r;
}

// The candidates are read in full before anything is written, so the rows this command inserts
// are never met again by the same run.
std::vector<PhoneRow> ReadCandidates(engine::TDane& dane) {
    std::vector<PhoneRow> rows;
    fb::TransactionScope read(dane.IBTransaction1, &dane.IBQuery_UN);
    fb::Query& q = dane.IBQuery_UN;
    q.SetSql(kSelectCandidates);
    for (q.Open(); !q.Eof(); q.Next()) rows.push_back(ReadRow(q));
    read.Commit();
    std::sort(rows.begin(), rows.end(),
              [](const PhoneRow& a, const PhoneRow& b) { return a.telId < b.telId; });
    return rows;
}

std::string UpdateSql(const PhoneRowChange& c) {
    std::string sql = "Update TELEFONY Set ";
    if (!c.newAreaCode.empty()) sql += "NR_KIERUNEK = " + SqlQuoted(c.newAreaCode) + ", ";
    sql += " NUMER = " + SqlQuoted(c.newNumber) + "," + "KTO_ZMIENIL = " + kAuthor + ", " +
           "DATA_ZMIANY = :pDATA_ZMIANY where TEL_ID = " + std::to_string(c.telId);
    return sql;
}

std::string InsertSql(const PhoneRow& row, const NewPhoneRow& added) {
    std::string columns = "TEL_ID, ";
    std::string values = std::to_string(added.telId) + ", ";
    auto text = [&](const char* column, const std::optional<std::string>& value) {
        if (!value) return;
        columns += std::string(column) + ", ";
        values += SqlQuoted(*value) + ",";
    };
    auto integer = [&](const char* column, const std::optional<std::int32_t>& value) {
        if (!value) return;
        columns += std::string(column) + ", ";
        values += std::to_string(*value) + ",";
    };
    if (!added.extension && !added.areaCode.empty()) text("NR_KIERUNEK", added.areaCode);
    text("NUMER", added.number);
    if (added.extension) {
        columns += "TYP, ";
        values += " 'Wewnętrzny', "_w;
    } else {
        text("TYP", row.typ);
    }
    text("OPIS", row.opis);
    integer("POLE_ID", row.poleId);
    text("TAB_OBCA", row.tabObca);
    columns += "DOMYSLNY, ";
    values += " 'N', ";
    text("ZNACZNIK", row.znacznik);
    integer("POLE_ID_DODATEK", row.poleIdDodatek);
    text("TAB_OBCA_DODATEK", row.tabObcaDodatek);
    integer("FIRMA_ID", row.firmaId);
    columns += "KTO_UTWORZYL, DATA_UTWORZ, STANOWISKO ";
    values += std::string(" ") + kAuthor + ", :pDATA_UTWORZ, " + kAuthor + " ";
    return "Insert into TELEFONY (" + columns + ") Values (" + values + ")";
}

// What the split of one row asks for; nullopt when the row stays as it is.
std::optional<PhoneRowChange> Plan(const PhoneRow& row, PhoneSplitRun& run) {
    PhoneSlots slots;
    slots[0] = row.areaCode;
    const PhoneSplit split = SplitPhoneNumber(row.number, slots);
    if (split.unreadable) run.unreadable.push_back({row.telId, row.number});
    if (!NeedsRewrite(split, slots, row.number)) return std::nullopt;

    PhoneRowChange c;
    c.telId = row.telId;
    c.number = row.number;
    c.areaCode = row.areaCode;
    c.newAreaCode = slots[0];
    c.newNumber = slots[1];
    for (int p = 2; p <= split.count; ++p)
        c.added.push_back({slots[0], slots[static_cast<std::size_t>(p)], false, -1});
    if (!slots[kExtensionSlot].empty())
        c.added.push_back({std::string(), slots[kExtensionSlot], true, -1});
    return c;
}

}  // namespace

PhoneSplitRun SplitGluedPhoneNumbers(engine::TDane& dane, const LocalClock& now, bool dryRun,
                                     const std::function<void(const PhoneRowChange&)>& onChanged) {
    PhoneSplitRun run;
    for (const PhoneRow& row : ReadCandidates(dane)) {
        std::optional<PhoneRowChange> change = Plan(row, run);
        if (!change) continue;
        const int statements = 1 + static_cast<int>(change->added.size());
        if (!dryRun) {
            fb::Statement& sql = dane.IBSQL_UN;
            fb::TransactionScope unit(dane.IBTransaction_UN);
            sql.SetSql(UpdateSql(*change));
            sql.ParamByName("pDATA_ZMIANY").SetDate(now());
            sql.ExecQuery();
            for (NewPhoneRow& added : change->added) {
                added.telId = dane.NextGeneratorValue("GEN_TELEFONY");
                sql.SetSql(InsertSql(row, added));
                sql.ParamByName("pDATA_UTWORZ").SetDate(now());
                sql.ExecQuery();
            }
            unit.Commit();
        }
        run.statements += statements;
        run.changed.push_back(std::move(*change));
        if (onChanged) onChanged(run.changed.back());
    }
    return run;
}

void ShowPhoneSplitResult(ui::MessageBox& messages, const PhoneSplitRun& run) {
    if (run.statements > 0)
        messages.Inform("Liczba rekordów w których rozłączono numery telefonów = "_w +
                            std::to_string(run.statements),
                        "Koniec rozłączania numerów telefonów"_w);
    else
        messages.Inform("Nie odnaleziono żadnych sklejonych numerów telefonów "_w, "");
}

std::string UnreadPhonesNote(const PhoneSplitRun& run) {
    if (run.unreadable.empty()) return {};
    return "Liczba rekordów pozostawionych bez zmian (nie udało się odczytać numerów) = "_w +
           std::to_string(run.unreadable.size());
}

}  // namespace migracja::tools
