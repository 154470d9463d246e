#include "engine/Calculations.h"

#include <initializer_list>

#include "base/Text.h"
#include "calc/CalcFunctions.h"
#include "calc/FunctionTable.h"
#include "calc/MigracjaUtil.h"
#include "engine/CalculationQueries.h"

namespace migracja::engine {

using namespace migracja::literals;

namespace {

// Field n of the record; a position the record does not have (a second or third field the line
// did not name) reads as an empty field.
const DbfFieldInfo& FieldAt(const MigrationDefinition& d, int n) {
    static const DbfFieldInfo kNoField;
    return n >= 0 && n < d.DbfFieldCount() ? d.DbfFields[static_cast<std::size_t>(n)] : kNoField;
}

bool OneOf(int f, std::initializer_list<int> functions) {
    for (const int g : functions)
        if (g == f) return true;
    return false;
}

// First fields of kind D are accepted by the date functions and by those that ignore the field.
bool AcceptsDateField(int f) {
    return OneOf(f, {10, 11, 17, 18, 19, 21, 23, 24, 25, 26, 27, 31, 32});
}

// First fields of kind F, logical or other are accepted by the money functions and by those that
// ignore the field.
bool AcceptsOtherField(int f) {
    return OneOf(f, {10, 11, 23, 24, 33, 34});
}

void Report(TDane& dane, std::string entry) {
    dane.Definition.StopRequested = true;
    dane.MigrationErrorLog.push_back(std::move(entry));
    dane.Definition.ErrorsOccurred = true;
}

// The arguments of one calculation for the current record.
struct Arguments {
    const std::string& s;  // text of the first field when it is a text field, else "?"
    std::int32_t i;        // integer of the first field when it is an integer field, else 0
    const DbfFieldInfo& f1;
    const DbfFieldInfo& f2;
    const DbfFieldInfo& f3;
    const std::string& T;
    int k;
};

// The gross price from the first (VAT code) and second (net price) field of calculation k.
Money CenaBruttoOf(TDane& dane, const CalculationDef& c, int k) {
    const MigrationDefinition& d = dane.Definition;
    // The first field of the file is not taken for either position.
    std::int32_t vat = 0;
    if (c.ArgFields[0] > 0 && c.ArgKinds[0] == ValueKind::Integer)
        vat = FieldAt(d, c.ArgFields[0]).IntegerValue;
    else
        Report(dane, "Nieznany nr/typ dla obliczeń "_w + std::to_string(k) + "[0]-Vat !  Plik " +
                         d.DbfFileName);
    Money net;
    if (c.ArgFields[1] > 0 && c.ArgKinds[1] == ValueKind::Money)
        net = FieldAt(d, c.ArgFields[1]).MoneyValue;
    else
        Report(dane, "Nieznany nr/typ dla obliczeń Cena"_w + std::to_string(k) +
                         "[1]-cenaNetto !  Plik " + d.DbfFileName);
    return calc::CenaBrutto(vat, net);
}

bool InitResultIsInteger(const MigrationDefinition& d, int entry) {
    return d.InitTables[static_cast<std::size_t>(entry)].ResultKind == ValueKind::Integer;
}

std::int32_t InitInteger(const MigrationDefinition& d, int entry) {
    return d.InitTables[static_cast<std::size_t>(entry)].InitResult.Integer;
}

// The id of the initial record whose letter s is in T ('ABC' and 'B' select the second).
std::int32_t WyborID_INITE(TDane& dane, const std::string& s, const std::string& T) {
    const MigrationDefinition& d = dane.Definition;
    const std::size_t at = T.find(s);
    const int p = at == std::string::npos ? 0 : static_cast<int>(at) + 1;
    if (p < 1 || p > d.InitTableCount) return -1;
    if (InitResultIsInteger(d, p - 1)) return InitInteger(d, p - 1);
    Report(dane, "Inny typ parametru dla obliczeń "_w + s + " przy " + d.DbfFileName);
    return -1;
}

// The id of initial record number T, counted from 1.
std::int32_t WyborID_INITE_Nr(TDane& dane, const std::string& T) {
    const MigrationDefinition& d = dane.Definition;
    const std::string tail = T + " przy " + d.DbfFileName;
    std::int32_t n = 0;
    if (!calc::ReadSignedInteger(T, n)) {
        Report(dane, "Błąd w numerze parametru z inite dla obliczeń "_w + tail);
    } else if (n < 1) {
        Report(dane, "Za mały nr parametru z inite dla obliczeń "_w + tail);
    } else if (n > d.InitTableCount) {
        Report(dane, "Inna liczba parametrów z inite dla obliczeń "_w + tail);
    } else if (!InitResultIsInteger(d, n - 1)) {
        Report(dane, "Inny typ parametru dla obliczeń  z inite "_w + tail);
    } else {
        return InitInteger(d, n - 1);
    }
    return -1;
}

static_assert(calc::kFunctionCount == 39, "one case per function below");

// Calls function f and stores its value in the slot the function fills.
void Call(TDane& dane, CalculationDef& c, int f, const Arguments& a) {
    const TargetContext& ctx = dane.Target;
    calc::NameSplitter& names = dane.PersonNameSplitter;
    // clang-format off
    switch (f) {
        case 0: c.TextResult = calc::KodPocztowyZKreska(a.s); break;
        case 1: c.TextResult = names.GetImie(a.s); break;
        case 2: c.TextResult = names.GetNazwisko(a.s); break;
        case 3: c.TextResult = calc::Get1PrefixNIP(a.s); break;
        case 4: c.TextResult = calc::Get2PrefixNIP(a.s); break;
        case 5: c.TextResult = calc::ZwrocTNDlaNiePuste(a.s); break;
        case 6: c.TextResult = calc::Copy40(a.s); break;
        case 7: c.IntegerResult = WyborID_INITE(dane, a.s, a.T); break;
        case 8: c.MoneyResult = calc::StawkaVAT(a.i); break;
        case 9: c.TextResult = calc::KodVAT(a.i); break;
        case 10: c.MoneyResult = CenaBruttoOf(dane, c, a.k); break;
        case 11: c.IntegerResult = ctx.SelectedFirmaId; break;
        case 12: c.IntegerResult = calc::LiczbaMiesiecyCOIMPU(a.i); break;
        case 13: c.TextResult = calc::CzyAktywnaCOIMPU(a.i); break;
        case 14: c.IntegerResult = WyborID_INITE_Nr(dane, a.T); break;
        case 15: c.IntegerResult = calc::Zamien0i1(a.i); break;
        case 16: c.IntegerResult = GetIDAktywnejKasy(dane, a.s); break;
        case 17: c.TextResult = calc::Daty2ToStr(a.f1.DateValue, a.f2.DateValue); break;
        case 18: c.DateResult = calc::Daty2ToDate(a.f1.DateValue, a.f2.DateValue); break;
        case 19: c.DateResult = calc::DatyPlusRokToDate(a.f1.DateValue, a.f2.DateValue); break;
        case 20: c.IntegerResult = SelectWgNr(dane, a.s, a.f2.IntegerValue, a.f3.TextValue); break;
        case 21: c.DateResult = calc::JakaDataNastepna(a.f1.DateValue, a.f2.DateValue); break;
        case 22: c.TextResult = NextUniqueSkrot(dane, a.s, a.T); break;
        case 23: c.IntegerResult = ctx.SelectedGsId; break;
        case 24: c.TextResult = ctx.SelectedGsPrefix; break;
        case 25: c.DateResult = calc::DataiGodzina(a.f1.DateValue, a.f2.TextValue); break;
        case 26: c.IntegerResult = calc::Month(a.f1.DateValue); break;
        case 27: c.IntegerResult = calc::Year(a.f1.DateValue); break;
        case 28: c.IntegerResult = calc::GetNrOldZlecenia(a.s); break;
        case 29: c.TextResult = calc::SuffixNumeru(a.s); break;
        case 30:
            c.IntegerResult = GetFIRMA_ID_Zlecenia(dane, a.s, a.f2.TextValue, a.f3.TextValue);
            break;
        case 31:
            c.TextResult = calc::StatusUrzadzenia(a.f1.DateValue, a.f2.DateValue, a.f3.IntegerValue);
            break;
        case 32: c.DateResult = calc::IncMonth(a.f1.DateValue, a.T); break;
        case 33: c.MoneyResult = calc::WartoscNetto(a.f1.MoneyValue, a.f2.MoneyValue); break;
        case 34:
            c.MoneyResult = calc::WartoscBrutto(a.f1.MoneyValue, a.f2.MoneyValue, a.f3.IntegerValue);
            break;
        case 35: c.TextResult = calc::JednostkaCzasuUslug(a.f1.TextValue, a.f2.MoneyValue); break;
        case 36:
            c.TextResult = calc::Add2sIStr(a.f1.TextValue, a.f2.TextValue, a.f3.IntegerValue);
            break;
        case 37: c.IntegerResult = ctx.SelectedMiejsceId < 0 ? -1 : ctx.SelectedMiejsceId; break;
        case 38:
            c.IntegerResult = ctx.SelectedGsSharedRegister == "N" ? ctx.SelectedGsId : -1;
            break;
    }
    // clang-format on
}

}  // namespace

void EvaluateCalculations(TDane& dane) {
    MigrationDefinition& d = dane.Definition;
    static const std::string kNoText = "?";
    for (int k = 0; k < d.CalculationCount(); ++k) {
        CalculationDef& c = d.Calculations[static_cast<std::size_t>(k)];
        // The date slot is left alone: a date function of an earlier record may still be read.
        c.TextResult.clear();
        c.IntegerResult = 0;
        c.MoneyResult = Money{};

        const int f = c.Function;
        const int first = c.ArgFields[0];
        const ValueKind kind = c.ArgKinds[0];
        const DbfFieldInfo& f1 = FieldAt(d, first);
        const std::string* s = &kNoText;
        std::int32_t i = 0;
        if (first >= 0) {
            if (kind == ValueKind::Text) {
                s = &f1.TextValue;
            } else if (kind == ValueKind::Integer) {
                i = f1.IntegerValue;
            } else if (kind == ValueKind::Date) {
                if (!AcceptsDateField(f)) {
                    Report(dane, "Inny typ parametru (nr typu= "_w +
                                     std::to_string(static_cast<int>(kind)) + ") dla obliczeń "_w +
                                     std::to_string(k) + " [Brak] przy " + d.DbfFileName);
                    return;
                }
            } else if (!AcceptsOtherField(f)) {
                Report(dane, "Inny typ parametru (nr typu= "_w +
                                 std::to_string(static_cast<int>(kind)) + ") dla obliczeń nr "_w +
                                 std::to_string(k) + " przy " + d.DbfFileName);
                return;
            }
        }

        if (f == calc::kZwrocTNDlaNiePuste) {
            c.TextResult = calc::ZwrocTNDlaNiePuste(*s);
            continue;
        }
        // An empty text field leaves the results cleared, whatever the function.
        if (s->empty()) continue;
        if (f < 0 || f >= calc::kFunctionCount) {
            Report(dane, "Brak funkcji obliczeniowej nr " + std::to_string(f));
            continue;
        }
        const Arguments args{
            *s, i, f1, FieldAt(d, c.ArgFields[1]), FieldAt(d, c.ArgFields[2]), c.TextArg, k};
        Call(dane, c, f, args);
    }
}

}  // namespace migracja::engine
