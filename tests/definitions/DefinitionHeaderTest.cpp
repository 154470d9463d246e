#include <gtest/gtest.h>

#include "base/Text.h"
#include "definitions/DefinitionLoader.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::definitions::TFormIni;

namespace {

struct Header {
    migracja::testing::TempDir dir;
    migracja::testing::ScriptedMessageBox messages;
    engine::TDane dane;
    TFormIni loader{dane, messages};

    std::string Read(const std::string& name, const std::string& bytes) {
        dir.Write(name, bytes);
        return loader.ReadDefinitionHeader(dir / name);
    }
};

}  // namespace

TEST(DefinitionHeaderTest, CollectsEveryTableNameAcrossGapsOnceEach) {
    Header h;
    EXPECT_EQ(h.Read("01-firmy.ini",
                     "[start]\r\nplikdbf = KLIENCI.DBF\r\nTabela_0=rejestr_firm\r\n"
                     "Tabela_3= Telefony \r\n[INITE]\r\nTabela_0=GRUPY_SERWIS\r\n"),
              "KLIENCI.DBF");
    EXPECT_EQ(h.dane.DefinitionTables, (std::vector<std::string>{"REJESTR_FIRM", "TELEFONY"}));

    // A second file adds only what is new; the list grows for the life of the program.
    EXPECT_EQ(
        h.Read("02-urz.ini",
               "[START]\nPlikDBF=\"URZ.DBF\"\nTabela_0=REJESTR_FIRM\nTabela_9=urządzenia\n"_w),
        "URZ.DBF");
    EXPECT_EQ(h.dane.DefinitionTables,
              (std::vector<std::string>{"REJESTR_FIRM", "TELEFONY", "URZĄDZENIA"_w}));
    EXPECT_TRUE(h.messages.shown.empty());
}

TEST(DefinitionHeaderTest, AbsentFileOrKeyGivesEmptyName) {
    Header h;
    EXPECT_EQ(h.loader.ReadDefinitionHeader(h.dir / "nie-ma.ini"), "");
    EXPECT_EQ(h.Read("03-x.ini", "[START]\r\nTabela_1=TELEFONY\r\n"), "");
    EXPECT_EQ(h.dane.DefinitionTables, std::vector<std::string>{"TELEFONY"});
    // "?" is the format's "not given", also when written out.
    EXPECT_EQ(h.Read("04-x.ini", "[START]\r\nTabela_0=?\r\nTabela_1=\r\n"), "");
    EXPECT_EQ(h.dane.DefinitionTables, std::vector<std::string>{"TELEFONY"});
}
