#include "config/Connection.h"

#include "base/Text.h"
#include "config/Settings.h"

namespace migracja::config {

using namespace migracja::literals;

void OpenDatabase(fb::Database& database, const std::string& location, const std::string& user,
                  const std::string& password) {
    database.Close();
    database.Params = {"user_name=" + user, "password=" + password, "lc_ctype=WIN1250"};
    database.DatabaseName = text::Win1250ToUtf8(location);
    database.SqlDialect = 1;
    database.Open();
}

bool ConnectFromSettings(fb::Database& database, const std::filesystem::path& programDir,
                         ui::MessageBox& messages) {
    const DbSettings settings = ReadDbSettings(programDir);
    if (!settings.found) {
        messages.Warn("Brak ustawień dostępu do bazy danych TAVRIK !\r\n(Brak pliku Db.Ini)"_w,
                      "Brak połączenia"_w);
        return false;
    }
    OpenDatabase(database, settings.location, settings.user, settings.password);
    return true;
}

}  // namespace migracja::config
