#include "support/DatabaseFiles.h"

#include <firebird/Interface.h>
#include <ibase.h>

#include <algorithm>

#include "base/Text.h"

namespace migracja::testing {

namespace {

using Firebird::FbException;
using Firebird::ThrowStatusWrapper;

Firebird::IMaster* Master() {
    static Firebird::IMaster* master = Firebird::fb_get_master_interface();
    return master;
}

fb::Error ErrorOf(const FbException& e) {
    char buffer[4096];
    Master()->getUtilInterface()->formatStatus(buffer, sizeof buffer, e.getStatus());
    return fb::Error(buffer);
}

// Runs attach(provider, status, dpb) with a connection parameter block filled by fill, and
// gives Firebird's failure as fb::Error.
template <class Fill, class Attach>
Firebird::IAttachment* Connect(Fill&& fill, Attach&& attach) {
    Firebird::IStatus* status = Master()->getStatus();
    ThrowStatusWrapper s(status);
    Firebird::IProvider* provider = Master()->getDispatcher();
    Firebird::IXpbBuilder* dpb = nullptr;
    try {
        dpb =
            Master()->getUtilInterface()->getXpbBuilder(&s, Firebird::IXpbBuilder::DPB, nullptr, 0);
        fill(dpb, &s);
        Firebird::IAttachment* a = attach(provider, &s, dpb);
        dpb->dispose();
        provider->release();
        status->dispose();
        return a;
    } catch (const FbException& e) {
        fb::Error error = ErrorOf(e);
        if (dpb) dpb->dispose();
        provider->release();
        status->dispose();
        throw error;
    }
}

// Ends an attachment this file made, dropping its database or detaching from it.
void Finish(Firebird::IAttachment* attachment, bool drop) {
    Firebird::IStatus* status = Master()->getStatus();
    ThrowStatusWrapper s(status);
    try {
        if (drop)
            attachment->dropDatabase(&s);
        else
            attachment->detach(&s);
        status->dispose();
    } catch (const FbException& e) {
        fb::Error error = ErrorOf(e);
        attachment->release();
        status->dispose();
        throw error;
    }
}

}  // namespace

void CreateDatabase(fb::Database& db, const std::string& location, const std::string& user,
                    const std::string& password, const std::string& charset, int dialect) {
    db.Close();
    Firebird::IAttachment* created = Connect(
        [&](Firebird::IXpbBuilder* dpb, ThrowStatusWrapper* s) {
            // As the program connects: names in UTF-8, the user and password from Windows-1250.
            dpb->insertTag(s, isc_dpb_utf8_filename);
            dpb->insertString(s, isc_dpb_user_name, text::Win1250ToUtf8(user).c_str());
            dpb->insertString(s, isc_dpb_password, text::Win1250ToUtf8(password).c_str());
            dpb->insertString(s, isc_dpb_lc_ctype, charset.c_str());
            dpb->insertString(s, isc_dpb_set_db_charset, charset.c_str());
            dpb->insertInt(s, isc_dpb_sql_dialect, dialect);
            dpb->insertInt(s, isc_dpb_page_size, 8192);
        },
        [&](Firebird::IProvider* p, ThrowStatusWrapper* s, Firebird::IXpbBuilder* dpb) {
            return p->createDatabase(s, location.c_str(), dpb->getBufferLength(s),
                                     dpb->getBuffer(s));
        });
    Finish(created, false);
    db.DatabaseName = location;
    db.Params = {"user_name=" + user, "password=" + password, "lc_ctype=" + charset};
    db.SqlDialect = dialect;
    db.Open();
}

void DropDatabase(fb::Database& db) {
    if (!db.Connected()) throw fb::Error("cannot drop a database that is not connected");
    // The program's connection ends first, with its transactions and statements; a connection
    // of this file's own then drops the database, which no other attachment may hold.
    db.Close();
    Firebird::IAttachment* attachment = Connect(
        [&](Firebird::IXpbBuilder* dpb, ThrowStatusWrapper* s) {
            dpb->insertTag(s, isc_dpb_utf8_filename);
            for (const std::string& line : db.Params) {
                const auto eq = line.find('=');
                const std::string key = line.substr(0, eq);
                const std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
                if (text::EqualsIgnoreCase(key, "user_name"))
                    dpb->insertString(s, isc_dpb_user_name, text::Win1250ToUtf8(value).c_str());
                if (text::EqualsIgnoreCase(key, "password"))
                    dpb->insertString(s, isc_dpb_password, text::Win1250ToUtf8(value).c_str());
            }
        },
        [&](Firebird::IProvider* p, ThrowStatusWrapper* s, Firebird::IXpbBuilder* dpb) {
            return p->attachDatabase(s, db.DatabaseName.c_str(), dpb->getBufferLength(s),
                                     dpb->getBuffer(s));
        });
    Finish(attachment, true);
}

std::vector<std::string> SplitScript(std::string_view script) {
    std::vector<std::string> out;
    std::string terminator = ";";
    std::string current;
    std::size_t i = 0;
    const std::size_t n = script.size();
    auto flush = [&] {
        const std::string_view t = text::Trim(current);
        if (!t.empty()) {
            const std::string upper = text::ToUpper(t);
            if (upper.rfind("SET TERM", 0) == 0) {
                std::string rest(text::Trim(std::string_view(t).substr(8)));
                terminator = rest.empty() ? ";" : rest;
            } else if (upper.rfind("SET SQL DIALECT", 0) != 0 && upper.rfind("SET NAMES", 0) != 0) {
                out.emplace_back(t);
            }
        }
        current.clear();
    };
    while (i < n) {
        const char c = script[i];
        if (c == '\'' || c == '"') {
            std::size_t j = i + 1;
            while (j < n && script[j] != c) ++j;
            j = std::min(j + 1, n);
            current.append(script.substr(i, j - i));
            i = j;
        } else if (c == '-' && i + 1 < n && script[i + 1] == '-') {
            std::size_t j = script.find('\n', i);
            i = j == std::string_view::npos ? n : j;
        } else if (c == '/' && i + 1 < n && script[i + 1] == '*') {
            std::size_t j = script.find("*/", i + 2);
            i = j == std::string_view::npos ? n : j + 2;
        } else if (script.compare(i, terminator.size(), terminator) == 0) {
            i += terminator.size();
            flush();
        } else {
            current += c;
            ++i;
        }
    }
    flush();
    return out;
}

void ExecuteScript(fb::Transaction& transaction, std::string_view script) {
    fb::Statement statement(transaction, "script");
    for (const std::string& sql : SplitScript(script)) {
        const std::string upper = text::ToUpper(sql);
        transaction.StartIfNeeded();
        if (upper == "COMMIT" || upper == "COMMIT WORK") {
            transaction.Commit();
            continue;
        }
        statement.SetSql(sql);
        statement.ExecQuery();
        const bool ddl = upper.rfind("CREATE", 0) == 0 || upper.rfind("ALTER", 0) == 0 ||
                         upper.rfind("DROP", 0) == 0 || upper.rfind("RECREATE", 0) == 0;
        if (ddl) transaction.Commit();
    }
    if (transaction.Active()) transaction.Commit();
}

}  // namespace migracja::testing
