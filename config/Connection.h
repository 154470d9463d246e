#pragma once
// Opening the one database connection of the program from the settings beside it.

#include <filesystem>
#include <string>

#include "config/Ui.h"
#include "fb/Fb.h"

namespace migracja::config {

// Closes the connection when open, sets exactly the three parameter lines "user_name=",
// "password=", "lc_ctype=WIN1250" in that order and the location, and opens. The location is a
// Windows-1250 text, as Db.Ini holds it; the database name is the file system's (UTF-8) form of
// it. Database errors propagate to the caller.
void OpenDatabase(fb::Database& database, const std::string& location, const std::string& user,
                  const std::string& password);

// Db.Ini of the program directory; when it is missing, the "Brak połączenia" message and false,
// without touching the connection. An invalid stored password and database errors propagate.
bool ConnectFromSettings(fb::Database& database, const std::filesystem::path& programDir,
                         ui::MessageBox& messages);

}  // namespace migracja::config
