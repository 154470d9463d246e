// The DBF side of the data module: the source table of the running definition.

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

#include "base/FileSearch.h"
#include "base/Text.h"
#include "config/Settings.h"
#include "engine/Dane.h"

namespace migracja::engine {

using namespace migracja::literals;

namespace {

constexpr const char* kTemporaryIndex = "MIGRACJA.MDX";

}  // namespace

void TDane::SetDbfFolder(const std::string& folder) {
    Dbf1.reset();
    if (folder.size() > 1) dbfFolder_ = folder;
}

bool TDane::OpenSourceTable() {
    CloseSourceTable();
    MigrationDefinition& d = Definition;
    // The definitions name files as the legacy program wrote them, in Windows-1250 and in any
    // letter case; the search matches them against the names on disk.
    Dbf1.emplace(dbf::DbfTable::Open(config::FindProgramFile(dbfFolder_, d.DbfFileName)));
    sourceStamp_ = Dbf1->ReadStamp();
    if (!Dbf1->Warning().empty()) {
        // The whole records are still migrated; the user must learn that the rest is missing,
        // or that records past the header's count are left out.
        AddError(text::Utf8ToWin1250(Dbf1->Warning()), Stops::No);
    }
    // The header's count may be anything up to 2^32 - 1; only the whole records present are
    // read, and their count fits the 32-bit counters unless the file really holds more.
    const std::uint32_t records = Dbf1->AvailableRecordCount();
    if (records > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
        throw dbf::DbfError("Plik DBF " + Dbf1->Path().string() + " ma " + std::to_string(records) +
                            " rekordów; przenieść można najwyżej " +
                            std::to_string(std::numeric_limits<std::int32_t>::max()));
    d.DbfRecordCount = static_cast<std::int32_t>(records);
    if (d.DbfRecordCount == 0) {
        Dbf1.reset();
        return false;
    }
    if (dbf::IsIndexExpression(d.DbfIndexExpression)) Dbf1->SetOrder(d.DbfIndexExpression);
    d.DbfFields.clear();
    for (const dbf::DbfField& f : Dbf1->Fields()) {
        DbfFieldInfo info;
        info.Name = f.name;
        info.Kind = f.kind;
        if (f.kind == ValueKind::Text) info.Length = f.length;
        info.Memo = f.IsMemo();
        Append(d.DbfFields, kMaxDbfFields, std::move(info),
               "Za dużo pól w pliku DBF "_w + d.DbfFileName);
    }
    Dbf1->First();
    return true;
}

void TDane::CloseSourceTable() {
    Dbf1.reset();
    if (!dbf::IsIndexExpression(Definition.DbfIndexExpression)) return;
    std::error_code ec;
    if (std::filesystem::exists(kTemporaryIndex, ec)) {
        std::filesystem::remove(kTemporaryIndex, ec);
    } else if (!dbfFolder_.empty()) {
        const auto inFolder = config::FindProgramFile(dbfFolder_, kTemporaryIndex);
        if (std::filesystem::exists(inFolder, ec)) std::filesystem::remove(inFolder, ec);
    }
}

void TDane::ReportUnreadable(int i) {
    MigrationDefinition& d = Definition;
    const DbfFieldInfo& f = d.DbfFields[static_cast<std::size_t>(i)];
    // Reading it as 0 would write a wrong amount without a word; the record is set aside.
    AddErrorWithContext("Nieczytelna wartość pola "_w + f.Name + " (nr " + std::to_string(i) +
                            ") w rekordzie nr " + std::to_string(Dbf1->RecordNumber()) + " pliku " +
                            d.DbfFileName + ": " +
                            text::Utf8ToWin1250(dbf::ShownBytes(Dbf1->RawValue(i))),
                        -1, -1);
}

void TDane::ReadSourceRecord() {
    MigrationDefinition& d = Definition;
    for (int i = 0; i < d.DbfFieldCount(); ++i) {
        DbfFieldInfo& f = d.DbfFields[static_cast<std::size_t>(i)];
        switch (f.Kind) {
            case ValueKind::Text:
                if (!f.Memo)
                    f.TextValue.assign(Dbf1->AsText(i));
                else if (f.Used)
                    f.TextValue.assign(Dbf1->AsMemo(i));
                break;
            case ValueKind::Integer:
                f.IntegerValue = Dbf1->AsInteger(i);
                if (f.IntegerValue == 0 && Dbf1->IsUnreadable(i)) ReportUnreadable(i);
                break;
            case ValueKind::Money:
                f.MoneyValue = Dbf1->AsMoney(i);
                if (f.MoneyValue.raw == 0 && Dbf1->IsUnreadable(i)) ReportUnreadable(i);
                break;
            case ValueKind::Date:
                f.DateValue = Dbf1->AsDateTime(i);
                break;
            case ValueKind::Logical:
                f.TextValue = Dbf1->AsLogical(i) ? "T" : "N";
                break;
            case ValueKind::Other:
                AddError("Nieznany typ dla pola nr " + std::to_string(i) + " (" + f.Name + ") w " +
                             d.DbfFileName,
                         Stops::Run);
                break;
        }
    }
    if (!d.StopRequested) ++d.CurrentRecordNo;
    for (TableMapping& t : d.Tables) t.TableWritten = false;
}

bool TDane::AdvanceSourceRecord() {
    if (!Dbf1) return false;
    return Dbf1->Next();
}

void TDane::CheckSourceUnchanged() const {
    if (!Dbf1) return;
    const dbf::DbfTable::Stamp now = Dbf1->ReadStamp();
    if (now == sourceStamp_) return;
    const std::string name = Dbf1->Path().string();
    if (now.size < sourceStamp_.size)
        throw dbf::DbfError("Plik DBF " + name + " stał się krótszy w trakcie odczytu");
    throw dbf::DbfError(
        "Plik DBF " + name +
        " został zmieniony przez inny program w trakcie odczytu (jego rozmiar, czas "
        "zapisu albo nagłówek są inne niż przy otwarciu)");
}

}  // namespace migracja::engine
