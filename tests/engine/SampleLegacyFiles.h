#pragma once
// The legacy files the sample definitions read, like the demo's, and the sample definitions.

#include <filesystem>
#include <string>

#include "base/Text.h"
#include "engine/EngineFixture.h"

namespace migracja::testing {

using namespace migracja::literals;

// The sample definitions, in the order they run.
inline const char* const kSampleDefinitions[] = {
    "01-Firmy.ini", "02-Telefony.ini", "03-Urzadzenia.ini", "04-Cennik.ini", "05-Zlecenia.ini"};

// What the sample definitions expect in the target database: the chosen service team, and the
// owner company in the register already, under the short name of a legacy one.
inline const std::string kSampleTargetRows =
    "INSERT INTO GRUPY_SERWIS (GS_ID, PREFIX, NAZWA, WSPOLNA_EWIDENCJA) VALUES (1, 'LDZ', "
    "'Zespół', 'N');"
    "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, F_SERWIS) VALUES (100, 'APTEKA', 'T')"_w;

inline std::filesystem::path SampleDefinition(const std::string& name) {
    return std::filesystem::path(MIGRACJA_SOURCE_DIR) / "sample" / "definitions" / name;
}

inline void WriteLegacyFiles(EngineFixture& f) {
    DbfWriter companies;
    companies.Field("KOD", 'C', 6)
        .Field("SKROT", 'C', 20)
        .Field("NAZWA", 'C', 60)
        .Field("MIASTO", 'C', 30);
    companies.Field("NIP", 'C', 13).Field("OD_DNIA", 'D', 8).Field("UWAGI", 'C', 30);
    companies.Field("TELEFON", 'C', 20).Field("GLOWNY", 'L', 1).Field("PODATNIK", 'L', 1);
    companies.Field("KODPOCZ", 'C', 6);
    companies.Record({"K00001", "PIEKARNIA", "Piekarnia Złoty Kłos s.c."_w, "Łódź"_w,
                      "725-000-11-22", "19990304", "/stały klient"_w, "042 6300000", "T", "T",
                      "90001"});
    companies.Record({"K00002", "APTEKA", "Apteka Pod Różą"_w, "Kraków"_w, "676-100-20-30",
                      "19890715", "/hurt", "012 4220000", "F", "N", "31072"});
    companies.Record({"K00004", "", "", "Opole", "", "", "", "077 4000000", "T", "N", ""});
    f.Dbf("TARV01.DBF", companies);

    DbfWriter phones;
    phones.Field("KOD_FIRMY", 'C', 6).Field("TELEFON", 'C', 20).Field("OPIS", 'C', 30);
    phones.Record({"K00001", "042 6301122", "biuro"}).Record({"K00001", "", "brak"});
    phones.Record({"K00002", "012 4223344", "apteka"});
    f.Dbf("TARV02.DBF", phones);

    DbfWriter devices;
    devices.Field("NR_FABR", 'C', 20)
        .Field("KOD_FIRMY", 'C', 6)
        .Field("DATA_FISK", 'D', 8)
        .Field("OKRES", 'N', 2);
    devices.Record({"ABC 1234567", "K00001", "20030512", "12"}).Record({"", "K00002", "", "0"});
    f.Dbf("TARV03.DBF", devices);

    DbfWriter orders;
    orders.Field("NR", 'C', 10)
        .Field("KOD_FIRMY", 'C', 6)
        .Field("NR_FABR", 'C', 20)
        .Field("DATA", 'D', 8);
    orders.Field("OPIS", 'C', 60).Field("KWOTA", 'N', 10, 2).Field("STATUS", 'N', 1);
    orders.Field("ILOSC", 'N', 6, 2).Field("GODZ", 'C', 5).Field("PRZYJAL", 'C', 30);
    orders.Record({"Z/2005/002", "K00009", "", "20050310", "Przegląd"_w, "120.00", "2", "1.00",
                   "09:15", "Kowalski Jan"});
    orders.Record({"Z/2005/001", "K00001", "ABC 1234567", "20050301", "Wymiana papieru", "42.75",
                   "1", "2.00", "1330", "Anna Wiśniewska"_w});
    orders.Record(
        {"Z/2005/003", "K00001", "", "20050401", "Anulowane", "0.00", "0", "1.00", "", "Jan"});
    f.Dbf("TARV04.DBF", orders);

    // The same service twice, so that the second finds the first by its name; amounts that a
    // double would round.
    DbfWriter prices;
    prices.Field("NAZWA", 'C', 60).Field("CENA", 'N', 12, 2);
    prices.Record({"Przegląd okresowy kasy"_w, "120.00"}).Record({"Wymiana papieru", "15.50"});
    prices.Record({"Przegląd okresowy kasy"_w, "120.00"}).Record({"Serwis", "1234567.89"});
    prices.Record({"Rabat", "-0.01"});
    f.Dbf("TARV05.DBF", prices);
    f.dane.Target.SelectedGsId = 1;
}

}  // namespace migracja::testing
