#include "engine/Calculations.h"

#include "base/Text.h"
#include "calc/CalcFunctions.h"
#include "calc/MigracjaUtil.h"
#include "engine/CalculationQueries.h"
#include "engine/FunctionTable.h"

namespace migracja::engine {

using namespace migracja::literals;

namespace {

// Field n of the record; a position the record does not have (a second or third field the line
// did not name) reads as an empty field.
const DbfFieldInfo& FieldAt(const MigrationDefinition& d, int n) {
    static const DbfFieldInfo kNoField;
    return n >= 0 && n < d.DbfFieldCount() ? d.DbfFields[static_cast<std::size_t>(n)] : kNoField;
}

// The gross price from the first (VAT code) and second (net price) field of calculation k.
Money CenaBruttoOf(TDane& dane, const CalculationDef& c, int k) {
    const MigrationDefinition& d = dane.Definition;
    // The first field of the file is not taken for either position.
    std::int32_t vat = 0;
    if (c.ArgFields[0] > 0 && c.ArgKinds[0] == ValueKind::Integer)
        vat = FieldAt(d, c.ArgFields[0]).IntegerValue;
    else
        dane.AddError("Nieznany nr/typ dla obliczeń "_w + std::to_string(k) + "[0]-Vat !  Plik " +
                          d.DbfFileName,
                      Stops::Run);
    Money net;
    if (c.ArgFields[1] > 0 && c.ArgKinds[1] == ValueKind::Money)
        net = FieldAt(d, c.ArgFields[1]).MoneyValue;
    else
        dane.AddError("Nieznany nr/typ dla obliczeń Cena"_w + std::to_string(k) +
                          "[1]-cenaNetto !  Plik " + d.DbfFileName,
                      Stops::Run);
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
    dane.AddError("Inny typ parametru dla obliczeń "_w + s + " przy " + d.DbfFileName, Stops::Run);
    return -1;
}

// The id of initial record number T, counted from 1.
std::int32_t WyborID_INITE_Nr(TDane& dane, const std::string& T) {
    const MigrationDefinition& d = dane.Definition;
    const std::string tail = T + " przy " + d.DbfFileName;
    std::int32_t n = 0;
    if (!calc::ReadSignedInteger(T, n)) {
        dane.AddError("Błąd w numerze parametru z inite dla obliczeń "_w + tail, Stops::Run);
    } else if (n < 1) {
        dane.AddError("Za mały nr parametru z inite dla obliczeń "_w + tail, Stops::Run);
    } else if (n > d.InitTableCount) {
        dane.AddError("Inna liczba parametrów z inite dla obliczeń "_w + tail, Stops::Run);
    } else if (!InitResultIsInteger(d, n - 1)) {
        dane.AddError("Inny typ parametru dla obliczeń  z inite "_w + tail, Stops::Run);
    } else {
        return InitInteger(d, n - 1);
    }
    return -1;
}

// Each handler stores the function's value in the slot the function fills.
using Call = CalculationCall;
constexpr unsigned kDateOrOther = kDateField | kOtherField;
// clang-format off
constexpr CalculationFunction kFunctions[] = {
    {0, "KodPocztowyZKreska", kTextOrInteger,
     [](Call& a) { a.c.TextResult = calc::KodPocztowyZKreska(a.s); }},
    {1, "GetImie", kTextOrInteger,
     [](Call& a) { a.c.TextResult = a.dane.PersonNameSplitter.GetImie(a.s); }},
    {2, "GetNazwisko", kTextOrInteger,
     [](Call& a) { a.c.TextResult = a.dane.PersonNameSplitter.GetNazwisko(a.s); }},
    {3, "Get1PrefixNIP", kTextOrInteger,
     [](Call& a) { a.c.TextResult = calc::Get1PrefixNIP(a.s); }},
    {4, "Get2PrefixNIP", kTextOrInteger,
     [](Call& a) { a.c.TextResult = calc::Get2PrefixNIP(a.s); }},
    {5, "ZwrocTNDlaNiePuste", kEmptyText,
     [](Call& a) { a.c.TextResult = calc::ZwrocTNDlaNiePuste(a.s); }},
    {6, "Copy40", kTextOrInteger,
     [](Call& a) { a.c.TextResult = calc::Copy40(a.s); }},
    {7, "WyborID_INITE", kTextOrInteger,
     [](Call& a) { a.c.IntegerResult = WyborID_INITE(a.dane, a.s, a.T); }},
    {8, "StawkaVAT", kTextOrInteger,
     [](Call& a) { a.c.MoneyResult = calc::StawkaVAT(a.i); }},
    {9, "KodVAT", kTextOrInteger,
     [](Call& a) { a.c.TextResult = calc::KodVAT(a.i); }},
    {10, "CenaBrutto", kDateOrOther,
     [](Call& a) { a.c.MoneyResult = CenaBruttoOf(a.dane, a.c, a.k); }},
    {11, "MojaFirma", kDateOrOther | kNoDbfField,
     [](Call& a) { a.c.IntegerResult = a.dane.Target.SelectedFirmaId; }},
    {12, "LiczbaMiesiecyCOIMPU", kTextOrInteger,
     [](Call& a) { a.c.IntegerResult = calc::LiczbaMiesiecyCOIMPU(a.i); }},
    {13, "CzyAktywnaCOIMPU", kTextOrInteger,
     [](Call& a) { a.c.TextResult = calc::CzyAktywnaCOIMPU(a.i); }},
    {14, "WyborID_INITE_Nr", kTextOrInteger,
     [](Call& a) { a.c.IntegerResult = WyborID_INITE_Nr(a.dane, a.T); }},
    {15, "Zamien0i1", kTextOrInteger,
     [](Call& a) { a.c.IntegerResult = calc::Zamien0i1(a.i); }},
    {16, "GetIDAktywnejKasy", kTextOrInteger,
     [](Call& a) { a.c.IntegerResult = GetIDAktywnejKasy(a.dane, a.s); }},
    {17, "Daty2ToStr", kDateField,
     [](Call& a) { a.c.TextResult = calc::Daty2ToStr(a.f1.DateValue, a.f2.DateValue); }},
    {18, "Daty2ToDate", kDateField,
     [](Call& a) { a.c.DateResult = calc::Daty2ToDate(a.f1.DateValue, a.f2.DateValue); }},
    {19, "DatyPlusRokToDate", kDateField,
     [](Call& a) { a.c.DateResult = calc::DatyPlusRokToDate(a.f1.DateValue, a.f2.DateValue); }},
    {20, "SelectWgNr", kTextOrInteger,
     [](Call& a) {
         a.c.IntegerResult = SelectWgNr(a.dane, a.s, a.f2.IntegerValue, a.f3.TextValue);
     }},
    {21, "JakaDataNastepna", kDateField,
     [](Call& a) { a.c.DateResult = calc::JakaDataNastepna(a.f1.DateValue, a.f2.DateValue); }},
    {22, "NextUniqueSkrot", kTextOrInteger,
     [](Call& a) { a.c.TextResult = NextUniqueSkrot(a.dane, a.s, a.T); }},
    {23, "IdWybranyZespolSerwisowy", kDateOrOther | kNoDbfField,
     [](Call& a) { a.c.IntegerResult = a.dane.Target.SelectedGsId; }},
    {24, "SkrotWybranyZespolSerwisowy", kDateOrOther | kNoDbfField,
     [](Call& a) { a.c.TextResult = a.dane.Target.SelectedGsPrefix; }},
    {25, "DataiGodzina", kDateField,
     [](Call& a) { a.c.DateResult = calc::DataiGodzina(a.f1.DateValue, a.f2.TextValue); }},
    {26, "Month", kDateField,
     [](Call& a) { a.c.IntegerResult = calc::Month(a.f1.DateValue); }},
    {27, "Year", kDateField,
     [](Call& a) { a.c.IntegerResult = calc::Year(a.f1.DateValue); }},
    {28, "GetNrOldZlecenia", kTextOrInteger,
     [](Call& a) { a.c.IntegerResult = calc::GetNrOldZlecenia(a.s); }},
    {29, "SuffixNumeru", kTextOrInteger,
     [](Call& a) { a.c.TextResult = calc::SuffixNumeru(a.s); }},
    {30, "GetFIRMA_ID_Zlecenia", kTextOrInteger,
     [](Call& a) {
         a.c.IntegerResult = GetFIRMA_ID_Zlecenia(a.dane, a.s, a.f2.TextValue, a.f3.TextValue);
     }},
    {31, "StatusUrzadzenia", kDateField,
     [](Call& a) {
         a.c.TextResult =
             calc::StatusUrzadzenia(a.f1.DateValue, a.f2.DateValue, a.f3.IntegerValue);
     }},
    {32, "IncMonth", kDateField,
     [](Call& a) { a.c.DateResult = calc::IncMonth(a.f1.DateValue, a.T); }},
    {33, "WartoscNetto", kOtherField,
     [](Call& a) { a.c.MoneyResult = calc::WartoscNetto(a.f1.MoneyValue, a.f2.MoneyValue); }},
    {34, "WartoscBrutto", kOtherField,
     [](Call& a) {
         a.c.MoneyResult =
             calc::WartoscBrutto(a.f1.MoneyValue, a.f2.MoneyValue, a.f3.IntegerValue);
     }},
    {35, "JednostkaCzasuUslug", kTextOrInteger,
     [](Call& a) {
         a.c.TextResult = calc::JednostkaCzasuUslug(a.f1.TextValue, a.f2.MoneyValue);
     }},
    {36, "Add2sIStr", kTextOrInteger,
     [](Call& a) {
         a.c.TextResult = calc::Add2sIStr(a.f1.TextValue, a.f2.TextValue, a.f3.IntegerValue);
     }},
    {37, "GetMojOddzial", kNoDbfField,
     [](Call& a) {
         const std::int32_t branch = a.dane.Target.SelectedMiejsceId;
         a.c.IntegerResult = branch < 0 ? -1 : branch;
     }},
    {38, "WarunkowoGetZespol", kNoDbfField,
     [](Call& a) {
         const TargetContext& ctx = a.dane.Target;
         a.c.IntegerResult = ctx.SelectedGsSharedRegister == "N" ? ctx.SelectedGsId : -1;
     }},
};
// clang-format on

// A number finds its entry by position: a moved, missing or doubled entry does not compile.
constexpr bool NumberedInOrder() {
    int n = 0;
    for (const CalculationFunction& f : kFunctions)
        if (f.Number != n++) return false;
    return n == kFunctionCount;
}
static_assert(NumberedInOrder());

}  // namespace

std::span<const CalculationFunction> CalculationFunctions() {
    return kFunctions;
}

const CalculationFunction* FunctionByNumber(int f) {
    return f >= 0 && f < kFunctionCount ? &kFunctions[f] : nullptr;
}

int FindFunction(std::string_view name) {
    // ASCII letters only: the names have no others, and no other byte may match one of theirs.
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    for (const CalculationFunction& f : kFunctions) {
        if (f.Name.size() != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i)
            same = upper(f.Name[i]) == upper(name[i]);
        if (same) return f.Number;
    }
    return -1;
}

namespace {

enum class Which { ByProgram, LeftToBlock };

void Evaluate(TDane& dane, Which which) {
    MigrationDefinition& d = dane.Definition;
    static const std::string kNoText = "?";
    for (int k = 0; k < d.CalculationCount(); ++k) {
        CalculationDef& c = d.Calculations[static_cast<std::size_t>(k)];
        const bool leftToBlock = c.InBlock && dane.Block;
        if (which == Which::LeftToBlock && !leftToBlock) continue;
        // The date slot is left alone: a date function of an earlier record may still be read.
        c.TextResult.clear();
        c.IntegerResult = 0;
        c.MoneyResult = Money{};

        const CalculationFunction* function = FunctionByNumber(c.Function);
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
                if (!function || !function->Takes(kDateField)) {
                    dane.AddError("Inny typ parametru (nr typu= "_w +
                                      std::to_string(static_cast<int>(kind)) + ") dla obliczeń "_w +
                                      std::to_string(k) + " [Brak] przy " + d.DbfFileName,
                                  Stops::Run);
                    return;
                }
            } else if (!function || !function->Takes(kOtherField)) {
                dane.AddError("Inny typ parametru (nr typu= "_w +
                                  std::to_string(static_cast<int>(kind)) + ") dla obliczeń nr "_w +
                                  std::to_string(k) + " przy " + d.DbfFileName,
                              Stops::Run);
                return;
            }
        }

        // An empty text field leaves the results cleared, unless the function says otherwise.
        if (s->empty() && !(function && function->Takes(kEmptyText))) continue;
        if (!function) {
            dane.AddError("Brak funkcji obliczeniowej nr " + std::to_string(c.Function),
                          Stops::Run);
            continue;
        }
        if (which == Which::ByProgram && leftToBlock) continue;
        CalculationCall call{
            dane,      c, *s, i, f1, FieldAt(d, c.ArgFields[1]), FieldAt(d, c.ArgFields[2]),
            c.TextArg, k};
        function->Handler(call);
    }
}

}  // namespace

void EvaluateCalculations(TDane& dane) {
    Evaluate(dane, Which::ByProgram);
}

void EvaluateBlockCalculations(TDane& dane) {
    Evaluate(dane, Which::LeftToBlock);
}

}  // namespace migracja::engine
