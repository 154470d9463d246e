#pragma once
// The definition loader: reads migration definition files into the data module's model. It is
// created once and keeps nothing of its own; everything it reads goes into TDane.

#include <filesystem>
#include <string>

#include "config/Ui.h"
#include "engine/Dane.h"

namespace migracja::definitions {

class TFormIni {
  public:
    TFormIni(engine::TDane& dane, ui::MessageBox& messages);

    // The header for the main window's list: START PlikDBF (empty when the key or the file is
    // absent); every START Tabela_0 .. Tabela_9 present, gaps and all, is added upper-cased to
    // DefinitionTables unless it is there already. A file that exists but cannot be read throws.
    std::string ReadDefinitionHeader(const std::filesystem::path& file);

    // Reads the file into dane.Definition, which the caller has reset. False when the file does
    // not exist (nothing is read). Problems with the definition become entries of the error log
    // and set StopRequested; the caller tests it before opening the DBF file. Database errors
    // (adding DBF_UNQ_KEY among them) propagate and end the load where they occur.
    bool LoadDefinition(const std::filesystem::path& file);

  private:
    engine::TDane& dane_;
    ui::MessageBox& messages_;
};

}  // namespace migracja::definitions
