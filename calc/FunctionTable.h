#pragma once
// The calculation functions a definition may name in its OBLICZANE section. A function's number
// is its position in this table; the dispatcher switches on it, so the order must never change.

#include <array>
#include <string_view>

namespace migracja::calc {

inline constexpr int kFunctionCount = 39;

inline constexpr std::array<std::string_view, kFunctionCount> kFunctionNames = {
    "KodPocztowyZKreska",
    "GetImie",
    "GetNazwisko",
    "Get1PrefixNIP",
    "Get2PrefixNIP",
    "ZwrocTNDlaNiePuste",
    "Copy40",
    "WyborID_INITE",
    "StawkaVAT",
    "KodVAT",
    "CenaBrutto",
    "MojaFirma",
    "LiczbaMiesiecyCOIMPU",
    "CzyAktywnaCOIMPU",
    "WyborID_INITE_Nr",
    "Zamien0i1",
    "GetIDAktywnejKasy",
    "Daty2ToStr",
    "Daty2ToDate",
    "DatyPlusRokToDate",
    "SelectWgNr",
    "JakaDataNastepna",
    "NextUniqueSkrot",
    "IdWybranyZespolSerwisowy",
    "SkrotWybranyZespolSerwisowy",
    "DataiGodzina",
    "Month",
    "Year",
    "GetNrOldZlecenia",
    "SuffixNumeru",
    "GetFIRMA_ID_Zlecenia",
    "StatusUrzadzenia",
    "IncMonth",
    "WartoscNetto",
    "WartoscBrutto",
    "JednostkaCzasuUslug",
    "Add2sIStr",
    "GetMojOddzial",
    "WarunkowoGetZespol",
};

// Named numbers for the functions the engine treats specially.
enum FunctionNumber : int {
    kZwrocTNDlaNiePuste = 5,
    kCenaBrutto = 10,
    kMojaFirma = 11,
    kIdWybranyZespolSerwisowy = 23,
    kSkrotWybranyZespolSerwisowy = 24,
    kGetMojOddzial = 37,
    kWarunkowoGetZespol = 38,
};

// The number of the function with this name, letter case ignored (ASCII names); -1 when the
// table has no such function.
constexpr int FindFunction(std::string_view name) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    for (int f = 0; f < kFunctionCount; ++f) {
        const std::string_view n = kFunctionNames[static_cast<std::size_t>(f)];
        if (n.size() != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < n.size() && same; ++i) same = upper(n[i]) == upper(name[i]);
        if (same) return f;
    }
    return -1;
}

// The functions that read no DBF field: the reference a definition writes for them is ignored.
constexpr bool TakesNoDbfField(int f) {
    return f == kMojaFirma || f == kIdWybranyZespolSerwisowy || f == kSkrotWybranyZespolSerwisowy ||
           f == kGetMojOddzial || f == kWarunkowoGetZespol;
}

static_assert(FindFunction("COPY40") == 6 && FindFunction("warunkowogetzespol") == 38);
static_assert(FindFunction("Copy4") == -1);

}  // namespace migracja::calc
