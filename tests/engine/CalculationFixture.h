#pragma once
// A definition's calculations over a real DBF file: the file is opened through the data module,
// each record is read into DbfFields as the record loop reads it, and the calculations are
// built the way preparation builds them from a line such as GetImie(PLIKDBF->NAZWA 'X').

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "config/Connection.h"
#include "engine/Calculations.h"
#include "engine/Dane.h"
#include "engine/FunctionTable.h"
#include "support/DbfWriter.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

namespace migracja::testing {

class CalculationRun {
  public:
    // With a database, the data module is connected to it.
    explicit CalculationRun(const DbfWriter& file, TestDatabase* database = nullptr) {
        file.WriteTo(folder_ / "DANE.DBF");
        dane.SetDbfFolder(folder_.path().string());
        dane.Definition.DbfFileName = "DANE.DBF";
        if (database)
            config::OpenDatabase(dane.IBDatabase1, database->Location(), "SYSDBA", "masterkey");
        EXPECT_TRUE(dane.OpenSourceTable());
    }

    // Adds calculation number CalculationCount() for the named function and fields.
    engine::CalculationDef& Add(const std::string& function,
                                const std::vector<std::string>& fields = {},
                                const std::string& textArg = "") {
        engine::CalculationDef c;
        c.Function = engine::FindFunction(function);
        EXPECT_GE(c.Function, 0) << function;
        c.TextArg = textArg;
        for (std::size_t n = 0; n < fields.size(); ++n) {
            c.ArgFields[n] = FieldIndex(fields[n]);
            c.ArgKinds[n] = dane.Definition.DbfFields.at(c.ArgFields[n]).Kind;
        }
        dane.Definition.Calculations.push_back(c);
        return dane.Definition.Calculations.back();
    }
    // A calculation with a function number no function has.
    void AddNumber(int function) {
        engine::CalculationDef c;
        c.Function = function;
        c.ArgFields[0] = 0;
        c.ArgKinds[0] = dane.Definition.DbfFields.at(0).Kind;
        dane.Definition.Calculations.push_back(c);
    }

    int FieldIndex(const std::string& name) const {
        const auto& fields = dane.Definition.DbfFields;
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (fields[i].Name == name) return static_cast<int>(i);
        ADD_FAILURE() << "no field " << name;
        return -1;
    }

    // Reads the current record, evaluates, and moves to the next record.
    void EvaluateRecord() {
        dane.ReadSourceRecord();
        engine::EvaluateCalculations(dane);
        dane.AdvanceSourceRecord();
    }

    const engine::CalculationDef& Result(int k) const {
        return dane.Definition.Calculations.at(static_cast<std::size_t>(k));
    }
    const std::vector<std::string>& Log() const { return dane.MigrationErrorLog; }

    engine::TDane dane;

  private:
    TempDir folder_{"migracja-calc"};
};

}  // namespace migracja::testing
