// The run's summary: one line per definition and per target table, columns aligned for the
// Windows-1250 text the report holds, and where the rejected records went.

#include <gtest/gtest.h>

#include "base/Text.h"
#include "shell/RunSummary.h"
#include "support/TempDir.h"

using namespace migracja;
using namespace migracja::literals;

TEST(RunSummaryTest, EveryDefinitionAndTableHasAnAlignedLine) {
    std::vector<engine::DefinitionOutcome> outcomes(2);
    outcomes[0].Name = "01-Firmy";
    outcomes[0].Read = 10000;
    outcomes[0].Rejected = 40;
    outcomes[0].Seconds = 8;
    outcomes[0].Tables = {{"REJESTR_FIRM", 9950, 0, 10}, {"TELEFONY", 9960, 3, 0}};
    outcomes[1].Name = "02-Telefony łączone"_w;
    outcomes[1].Read = 7;
    outcomes[1].Tables = {{"TELEFONY", 7, 0, 0}};
    migracja::testing::TempDir dir;
    engine::RejectSet rejects;
    rejects.StartRun(100, dir / "Odrzucone 15.01.2024 10_30");

    const std::string s = text::Win1250ToUtf8(shell::FormatRunSummary(outcomes, rejects));
    // Names to the left, numbers to the right, each under its heading.
    const std::string expected[] = {
        "Podsumowanie",
        "Definicja            Tabela        Odczytane  Odrzucone  Zapisane  Pominięte  "
        "Istniejące  Czas [s]  Rekordów/s",
        "01-Firmy                               10000         40" + std::string(40, ' ') +
            "8.0        1250",
        "                     REJESTR_FIRM                            9950          0          10",
        "                     TELEFONY                                9960          3           0",
        "02-Telefony łączone                        7          0" + std::string(40, ' ') +
            "0.0           0",
        "                     TELEFONY                                   7          0           0"};
    std::string all;
    for (const std::string& line : expected) all += line + "\r\n";
    EXPECT_EQ(s, all);
}
