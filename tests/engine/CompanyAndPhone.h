#pragma once
// The definition many engine tests run: companies into REJESTR_FIRM, their telephones into
// TELEFONY with the company's new key.

#include <string>
#include <vector>

namespace migracja::testing {

// Table 0 REJESTR_FIRM (keyed by NRKLI, found again by its exists-query unless told otherwise),
// table 1 TELEFONY for the company, then the given extra lines.
inline std::vector<std::string> CompanyAndPhone(const std::vector<std::string>& extra = {},
                                                bool existsQuery = true) {
    std::vector<std::string> lines = {
        "[START]",
        "PlikDBF=FIRMY.DBF",
        "Tabela_0=REJESTR_FIRM",
        "Tabela_1=TELEFONY",
        "[WARUNKI_SQL]",
        "Warunek_0=SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI",
        "Warunek_1=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = PLIKDBF->TELEFON"};
    if (existsQuery)
        lines.push_back(
            "GdyJest_0=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI");
    for (const char* l :
         {"[Tabela0]", "FIRMA_ID=GENERATOR(GEN_REJESTR_FIRM)", "NAZWA_FIRMY=PLIKDBF->NAZWA",
          "DBF_UNQ_KEY=PLIKDBF->NRKLI", "[Tabela1]", "TEL_ID=GENERATOR(GEN_TELEFONY)",
          "FIRMA_ID=GENERATOR(0)", "NUMER=PLIKDBF->TELEFON"})
        lines.push_back(l);
    lines.insert(lines.end(), extra.begin(), extra.end());
    return lines;
}

}  // namespace migracja::testing
