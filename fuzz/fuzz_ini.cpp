// The INI reader and the definition loader on arbitrary file contents. The loader runs without
// a database: no table exists, so every table is reported missing, and everything else of the
// file is still read. Writing a key and reading the file back must give the key's value.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzFile.h"
#include "config/IniFile.h"
#include "config/Ui.h"
#include "definitions/DefinitionLoader.h"
#include "engine/Dane.h"

using migracja::config::IniFile;

namespace {

class SilentMessages : public migracja::ui::MessageBox {
  public:
    migracja::ui::Answer Show(const std::string&, const std::string&, migracja::ui::Icon,
                              migracja::ui::Buttons) override {
        return migracja::ui::Answer::Ok;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    IniFile ini = IniFile::Parse(bytes);
    volatile std::size_t sink = 0;
    for (const char* section : {"START", "Tabela0", "OBLICZANE", "BD_TARVIK", ""})
        for (const char* key : {"PlikDBF", "Tabela_0", "WynikNr0", "Password", ""})
            sink = sink + ini.ReadString(section, key, "?").size() +
                   static_cast<std::size_t>(ini.ReadInteger(section, key, 0));
    ini.Set("START", "Nowy", "wartosc");
    if (IniFile::Parse(ini.Bytes()).ReadString("start", "NOWY", "") != "wartosc") __builtin_trap();

    static migracja::fuzz::FuzzFile file;
    static migracja::engine::TDane dane;
    static SilentMessages messages;
    static migracja::definitions::TFormIni loader(dane, messages);
    const std::string& path = file.Hold(data, size);
    dane.ResetDefinition();
    dane.MigrationErrorLog.clear();
    dane.DefinitionTables.clear();
    loader.ReadDefinitionHeader(path);
    loader.LoadDefinition(path);
    (void)sink;
    return 0;
}
