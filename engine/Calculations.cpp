#include "engine/Calculations.h"

#include "config/Text.h"

namespace migracja::engine {

using namespace migracja::literals;

void EvaluateCalculations(TDane& dane) {
    MigrationDefinition& d = dane.Definition;
    if (d.CalculationCount() < 1) return;
    // No result may pass for computed while the functions are missing.
    d.StopRequested = true;
    dane.MigrationErrorLog.push_back(
        "Obliczenia (sekcja OBLICZANE) nie są jeszcze dostępne w tej wersji programu - "
        "definicja z plikiem "_w +
        d.DbfFileName + " nie może zostać wykonana.");
    d.ErrorsOccurred = true;
}

}  // namespace migracja::engine
