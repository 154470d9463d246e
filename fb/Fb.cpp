#include "fb/Fb.h"

#include <firebird/Interface.h>
#include <ibase.h>
#include <langinfo.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "base/Text.h"
#include "fb/FbConvert.h"

namespace migracja::fb {

using namespace migracja::literals;

using Firebird::FbException;
using Firebird::IMaster;
using Firebird::IStatus;
using Firebird::ThrowStatusWrapper;

// What a connection holds, shared by the Database object and the transactions bound to it, so
// that a transaction outliving its Database finds the attachment ended rather than freed memory.
struct ConnectionState {
    Database* database = nullptr;  // null once the Database object is gone
    Handle<Firebird::IAttachment> attachment;
    bool lost = false;
    RoundTrips trips;
    std::vector<TransactionState*> transactions;
};

// What a transaction holds, shared by the Transaction object and the queries and statements bound
// to it, in the same way.
struct TransactionState {
    TransactionState(std::shared_ptr<ConnectionState> c, Transaction* t, std::string n)
        : connection(std::move(c)), transaction(t), name(std::move(n)) {
        connection->transactions.push_back(this);
    }
    ~TransactionState() { std::erase(connection->transactions, this); }
    TransactionState(const TransactionState&) = delete;
    TransactionState& operator=(const TransactionState&) = delete;

    void CloseCursors() {
        for (SqlObject* o : objects) o->CloseCursor();
    }
    void ReleaseStatements() {
        for (SqlObject* o : objects) o->ReleaseStatement();
    }
    void RollbackQuietly();

    std::shared_ptr<ConnectionState> connection;
    Transaction* transaction;  // null once the Transaction object is gone
    std::string name;
    Handle<Firebird::ITransaction> handle;
    std::vector<SqlObject*> objects;  // each removes itself when destroyed
};

namespace {

IMaster* Master() {
    static IMaster* master = Firebird::fb_get_master_interface();
    return master;
}

// One status object per client call; disposed when the call is done.
class Status {
  public:
    Status() : status_(Master()->getStatus()), wrapper_(status_) {}
    ~Status() { status_->dispose(); }
    ThrowStatusWrapper* operator&() { return &wrapper_; }

  private:
    IStatus* status_;
    ThrowStatusWrapper wrapper_;
};

Error MakeError(const FbException& e, const std::string& sql) {
    char buffer[4096];
    Master()->getUtilInterface()->formatStatus(buffer, sizeof buffer, e.getStatus());
    std::string message(buffer);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    const ISC_STATUS* v = e.getStatus()->getErrors();
    const std::intptr_t code = (v && v[0] == isc_arg_gds) ? v[1] : 0;
    return Error(message, sql, code);
}

}  // namespace

bool IsConnectionLost(std::intptr_t gdsCode) {
    switch (gdsCode) {
        case isc_bad_db_handle:
        case isc_db_corrupt:
        case isc_io_error:
        case isc_shutdown:
        case isc_conn_lost:
        case isc_network_error:
        case isc_net_read_err:
        case isc_net_write_err:
        case isc_lost_db_connection:
        case isc_att_shutdown:
            return true;
        default:
            return false;
    }
}

namespace {

// Runs one client call and turns Firebird's exception into ours, carrying the SQL.
template <class F>
auto Call(const std::string& sql, F&& f) {
    Status status;
    try {
        return f(&status);
    } catch (const FbException& e) {
        throw MakeError(e, sql);
    }
}

// The same for a call on a connection: an answer that the connection is gone marks it lost, so
// that nothing more waits on it.
template <class F>
auto Call(ConnectionState& db, const std::string& sql, F&& f) {
    if (db.lost) throw Error("Połączenie z bazą danych zostało zerwane."_w, sql, isc_att_shutdown);
    Status status;
    try {
        return f(&status);
    } catch (const FbException& e) {
        Error error = MakeError(e, sql);
        if (IsConnectionLost(error.GdsCode())) db.lost = true;
        throw error;
    }
}

// Gives up a BLOB whose reading or writing failed, without letting a second failure replace the
// first: cancelled, or at least released.
void AbandonBlob(Firebird::IBlob* blob) {
    Status quiet;
    try {
        blob->cancel(&quiet);
    } catch (const FbException&) {
        blob->release();
    }
}

unsigned char TpbTag(const std::string& word) {
    static const std::pair<const char*, unsigned char> kTags[] = {
        {"read_committed", isc_tpb_read_committed},
        {"rec_version", isc_tpb_rec_version},
        {"no_rec_version", isc_tpb_no_rec_version},
        {"nowait", isc_tpb_nowait},
        {"wait", isc_tpb_wait},
        {"concurrency", isc_tpb_concurrency},
        {"consistency", isc_tpb_consistency},
        {"read", isc_tpb_read},
        {"write", isc_tpb_write},
    };
    for (const auto& [name, tag] : kTags)
        if (text::EqualsIgnoreCase(word, name)) return tag;
    throw Error("unknown transaction parameter \"" + word + "\"");
}

bool IsIdentifierChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$';
}

}  // namespace

// ---------------------------------------------------------------------------------------------

RoundTrips operator-(const RoundTrips& a, const RoundTrips& b) {
    RoundTrips d;
    d.attach = a.attach - b.attach;
    d.start = a.start - b.start;
    d.commit = a.commit - b.commit;
    d.prepare = a.prepare - b.prepare;
    d.execute = a.execute - b.execute;
    d.open = a.open - b.open;
    d.info = a.info - b.info;
    return d;
}

// ---------------------------------------------------------------------------------------------

Error::Error(std::string message, std::string sql, std::intptr_t gdsCode)
    : std::runtime_error(sql.empty() ? message : message + "\nSQL: " + sql),
      message_(std::move(message)),
      sql_(std::move(sql)),
      gdsCode_(gdsCode) {}

// ---------------------------------------------------------------------------------------------

Database::Database() : connection_(std::make_shared<ConnectionState>()) {
    connection_->database = this;
}

Database::~Database() {
    Close();
    connection_->database = nullptr;
}

bool Database::Connected() const {
    return static_cast<bool>(connection_->attachment);
}

bool Database::Lost() const {
    return connection_->lost;
}

void Database::MarkLost() {
    connection_->lost = true;
}

const RoundTrips& Database::Trips() const {
    return connection_->trips;
}

RoundTrips& Database::CountTrips() {
    return connection_->trips;
}

namespace {

// Builds a connection parameter block with fill(dpb, status) and passes it to
// connect(provider, status, length, bytes), which attaches to or creates a database.
template <class Fill, class Connect>
Firebird::IAttachment* Attachment(Fill&& fill, Connect&& connect) {
    struct Provider {
        Firebird::IProvider* p = Master()->getDispatcher();
        ~Provider() { p->release(); }
    } provider;
    return Call({}, [&](ThrowStatusWrapper* s) {
        struct Dpb {
            Firebird::IXpbBuilder* b;
            ~Dpb() { b->dispose(); }
        } dpb{
            Master()->getUtilInterface()->getXpbBuilder(s, Firebird::IXpbBuilder::DPB, nullptr, 0)};
        fill(dpb.b, s);
        return connect(provider.p, s, dpb.b->getBufferLength(s), dpb.b->getBuffer(s));
    });
}

unsigned char DpbTag(const std::string& key) {
    static const std::pair<const char*, unsigned char> kTags[] = {
        {"user_name", isc_dpb_user_name},
        {"password", isc_dpb_password},
        {"lc_ctype", isc_dpb_lc_ctype},
        {"sql_role_name", isc_dpb_sql_role_name},
    };
    for (const auto& [name, tag] : kTags)
        if (text::EqualsIgnoreCase(key, name)) return tag;
    throw Error("unknown connection parameter \"" + key + "\"");
}

}  // namespace

void UseUtf8FileNames() {
    const char* set = std::setlocale(LC_CTYPE, "");
    if (!set || std::string_view(nl_langinfo(CODESET)) != "UTF-8")
        std::setlocale(LC_CTYPE, "C.UTF-8");
}

void Database::Open() {
    Close();
    Firebird::IAttachment* attachment = Attachment(
        [&](Firebird::IXpbBuilder* dpb, ThrowStatusWrapper* s) {
            // Without this tag the client reads the database name, the user and the password
            // in the locale's character set, and refuses a Polish letter in a C locale or in
            // Windows-1250; with it, all three are UTF-8: the name as the file system has it,
            // the user and the password converted from the connection's Windows-1250.
            dpb->insertTag(s, isc_dpb_utf8_filename);
            for (const std::string& line : Params) {
                const auto eq = line.find('=');
                const std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
                dpb->insertString(s, DpbTag(line.substr(0, eq)),
                                  text::Win1250ToUtf8(value).c_str());
            }
            dpb->insertInt(s, isc_dpb_sql_dialect, SqlDialect);
        },
        [&](Firebird::IProvider* p, ThrowStatusWrapper* s, unsigned length,
            const unsigned char* bytes) {
            return p->attachDatabase(s, DatabaseName.c_str(), length, bytes);
        });
    ++connection_->trips.attach;
    connection_->attachment.Reset(attachment);
    connection_->lost = false;
}

void Database::Close() {
    ConnectionState& c = *connection_;
    if (!c.attachment) return;
    for (TransactionState* t : c.transactions) {
        t->CloseCursors();
        t->RollbackQuietly();
    }
    for (TransactionState* t : c.transactions) t->ReleaseStatements();
    if (c.lost) {
        // Detaching, or releasing, would wait for an answer that does not come; abandoned.
        c.attachment.Forget();
        c.lost = false;
        return;
    }
    Status status;
    try {
        c.attachment->detach(&status);
        c.attachment.Forget();  // detach released the interface
    } catch (const FbException&) {
        // The connection is gone or broken; abandon the handle so that we can reconnect.
        c.attachment.Reset();
    }
}

// ---------------------------------------------------------------------------------------------

Transaction::Transaction(Database& db, std::string name, std::vector<std::string> params)
    : params_(std::move(params)) {
    tpb_.push_back(isc_tpb_version3);
    for (const std::string& p : params_) tpb_.push_back(TpbTag(p));
    state_ = std::make_shared<TransactionState>(db.connection_, this, std::move(name));
}

Transaction::~Transaction() {
    state_->CloseCursors();
    state_->RollbackQuietly();
    state_->transaction = nullptr;
}

const std::string& Transaction::Name() const {
    return state_->name;
}

Database& Transaction::GetDatabase() const {
    return *state_->connection->database;
}

bool Transaction::Active() const {
    return static_cast<bool>(state_->handle);
}

void Transaction::Start() {
    if (Active()) throw Error("transaction " + Name() + " is already active");
    ConnectionState& db = *state_->connection;
    // Met when a command is chosen after the startup could not connect: the user has to look
    // at the settings, so the message says where they are.
    if (!db.attachment)
        throw Error(
            "Brak połączenia z bazą danych TARVIK. Sprawdź ustawienia dostępu do bazy w pliku "
            "Db.Ini (sekcja [BD_TARVIK], klucze Lokalizacja, User i Password) i uruchom "
            "program ponownie."_w);
    ++db.trips.start;
    state_->handle.Reset(Call(db, {}, [&](ThrowStatusWrapper* s) {
        return db.attachment->startTransaction(s, static_cast<unsigned>(tpb_.size()), tpb_.data());
    }));
}

void Transaction::Commit() {
    if (!Active()) throw Error("transaction " + Name() + " is not active");
    state_->CloseCursors();
    ConnectionState& db = *state_->connection;
    ++db.trips.commit;
    Call(db, {}, [&](ThrowStatusWrapper* s) { state_->handle->commit(s); });
    state_->handle.Forget();  // commit released the interface
}

void Transaction::Rollback() {
    if (!Active()) throw Error("transaction " + Name() + " is not active");
    state_->CloseCursors();
    ConnectionState& db = *state_->connection;
    ++db.trips.commit;
    Call(db, {}, [&](ThrowStatusWrapper* s) { state_->handle->rollback(s); });
    state_->handle.Forget();
}

void Transaction::RollbackQuietly() {
    state_->RollbackQuietly();
}

void TransactionState::RollbackQuietly() {
    if (!handle) return;
    if (connection->lost) {
        // Nothing would answer, and releasing an active transaction rolls it back over the
        // connection: the handle is abandoned (a few bytes of the client's), and the server
        // rolls the transaction back with the attachment.
        handle.Forget();
        return;
    }
    ++connection->trips.commit;
    Status status;
    try {
        handle->rollback(&status);
        handle.Forget();
    } catch (const FbException&) {
        // A lost connection takes the transaction with it; drop our reference.
        handle.Reset();
    }
}

void Transaction::ExecuteImmediate(const std::string& sql) {
    if (!Active()) throw Error("transaction " + Name() + " is not active", sql);
    ConnectionState& db = *state_->connection;
    ++db.trips.execute;
    Call(db, sql, [&](ThrowStatusWrapper* s) {
        db.attachment->execute(s, state_->handle.Get(), 0, sql.c_str(),
                               static_cast<unsigned>(db.database->SqlDialect), nullptr, nullptr,
                               nullptr, nullptr);
    });
}

void Transaction::Savepoint(const std::string& name) {
    ExecuteImmediate("SAVEPOINT " + name);
}

void Transaction::ReleaseSavepoint(const std::string& name) {
    ExecuteImmediate("RELEASE SAVEPOINT " + name);
}

void Transaction::RollbackToSavepoint(const std::string& name) {
    ExecuteImmediate("ROLLBACK TO SAVEPOINT " + name);
}

// ---------------------------------------------------------------------------------------------

void Param::SetText(std::string_view value) {
    kind_ = Kind::Text;
    text_.assign(value);
}

void Param::SetInteger(std::int32_t value) {
    kind_ = Kind::Integer;
    integer_ = value;
}

void Param::SetMoney(Money value) {
    kind_ = Kind::Money;
    integer_ = value.raw;
}

void Param::SetDate(DateTime value) {
    kind_ = Kind::Date;
    real_ = value;
}

void Param::SetNull() {
    kind_ = Kind::Null;
}

// ---------------------------------------------------------------------------------------------

SqlObject::SqlObject(Transaction& transaction, std::string name)
    : transaction_(transaction.state_), name_(std::move(name)) {
    transaction_->objects.push_back(this);
}

SqlObject::~SqlObject() {
    // The derived destructor has closed the cursor already; no virtual calls from here.
    FreeStatement();
    std::erase(transaction_->objects, this);
}

Transaction& SqlObject::GetTransaction() const {
    return *transaction_->transaction;
}

ConnectionState& SqlObject::Connection() const {
    return *transaction_->connection;
}

void SqlObject::SetSql(std::string sql) {
    CloseCursor();
    if (statement_ && sql == sql_) {
        for (auto& p : params_) p->SetNull();
        return;
    }
    ReleaseStatement();
    sql_ = std::move(sql);
    params_.clear();
    markers_.clear();
    positionalSql_.clear();
    positionalSql_.reserve(sql_.size());

    const std::size_t n = sql_.size();
    std::size_t i = 0;
    // In an EXECUTE BLOCK only the header's markers are parameters; after its AS, ":name" is a
    // variable of the block's own.
    const std::string head = text::ToUpper(text::Trim(std::string_view(sql_).substr(0, 40)));
    const bool block = head.rfind("EXECUTE", 0) == 0 &&
                       text::Trim(std::string_view(head).substr(7)).rfind("BLOCK", 0) == 0;
    bool body = false;
    int depth = 0;
    while (i < n) {
        const char c = sql_[i];
        if (block && !body && IsIdentifierChar(c) && (i == 0 || !IsIdentifierChar(sql_[i - 1]))) {
            std::size_t j = i;
            while (j < n && IsIdentifierChar(sql_[j])) ++j;
            if (depth == 0 && j - i == 2 && text::EqualsIgnoreCase(sql_.substr(i, 2), "AS"))
                body = true;
            positionalSql_.append(sql_, i, j - i);
            i = j;
            continue;
        }
        if (block && !body && (c == '(' || c == ')')) depth += c == '(' ? 1 : -1;
        if (c == '\'' || c == '"') {
            // A literal or quoted name runs to the matching quote; doubled quotes stay inside.
            std::size_t j = i + 1;
            while (j < n) {
                if (sql_[j] == c) {
                    if (j + 1 < n && sql_[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            j = std::min(j + 1, n);
            positionalSql_.append(sql_, i, j - i);
            i = j;
        } else if (c == '-' && i + 1 < n && sql_[i + 1] == '-') {
            std::size_t j = sql_.find('\n', i);
            j = j == std::string::npos ? n : j;
            positionalSql_.append(sql_, i, j - i);
            i = j;
        } else if (c == '/' && i + 1 < n && sql_[i + 1] == '*') {
            std::size_t j = sql_.find("*/", i + 2);
            j = j == std::string::npos ? n : j + 2;
            positionalSql_.append(sql_, i, j - i);
            i = j;
        } else if (c == ':' && !body && i + 1 < n && IsIdentifierChar(sql_[i + 1])) {
            std::size_t j = i + 1;
            while (j < n && IsIdentifierChar(sql_[j])) ++j;
            const std::string name = sql_.substr(i + 1, j - i - 1);
            std::size_t index = params_.size();
            for (std::size_t k = 0; k < params_.size(); ++k)
                if (text::EqualsIgnoreCase(params_[k]->Name(), name)) index = k;
            if (index == params_.size()) params_.emplace_back(new Param(name));
            markers_.push_back(index);
            positionalSql_ += '?';
            i = j;
        } else {
            positionalSql_ += c;
            ++i;
        }
    }
}

Param* SqlObject::FindParam(std::string_view name) {
    for (auto& p : params_)
        if (text::EqualsIgnoreCase(p->Name(), name)) return p.get();
    return nullptr;
}

Param& SqlObject::ParamByName(std::string_view name) {
    if (Param* p = FindParam(name)) return *p;
    throw Error(name_ + ": parameter \"" + std::string(name) + "\" not found", sql_);
}

void SqlObject::RequireActiveTransaction() const {
    if (!transaction_->handle)
        throw Error(name_ + ": transaction " + transaction_->name + " is not active", sql_);
}

void SqlObject::Prepare() {
    if (statement_) return;
    RequireActiveTransaction();
    try {
        PrepareStatement();
    } catch (...) {
        // Half-described statements must not pass for prepared.
        FreeStatement();
        throw;
    }
}

void SqlObject::PrepareStatement() {
    ConnectionState& db = Connection();
    ++db.trips.prepare;
    Call(db, sql_, [&](ThrowStatusWrapper* s) {
        statement_.Reset(db.attachment->prepare(s, transaction_->handle.Get(), 0,
                                                positionalSql_.c_str(),
                                                static_cast<unsigned>(db.database->SqlDialect),
                                                Firebird::IStatement::PREPARE_PREFETCH_METADATA));
        inMeta_.Reset(statement_->getInputMetadata(s));
        outMeta_.Reset(statement_->getOutputMetadata(s));
        if (inMeta_->getCount(s) != markers_.size())
            throw Error(name_ + ": the statement has " + std::to_string(inMeta_->getCount(s)) +
                        " parameter markers, " + std::to_string(markers_.size()) + " were named");
        inBuffer_.assign(inMeta_->getMessageLength(s), 0);
        inputSlots_.resize(markers_.size());
        for (unsigned k = 0; k < markers_.size(); ++k) {
            InputSlot& slot = inputSlots_[k];
            slot.type = inMeta_->getType(s, k) & ~1u;
            slot.subType = inMeta_->getSubType(s, k);
            slot.charSet = inMeta_->getCharSet(s, k);
            slot.scale = inMeta_->getScale(s, k);
            slot.length = inMeta_->getLength(s, k);
            slot.offset = inMeta_->getOffset(s, k);
            slot.nullOffset = inMeta_->getNullOffset(s, k);
        }
        outBuffer_.assign(outMeta_->getMessageLength(s), 0);
        fields_.clear();
        const unsigned count = outMeta_->getCount(s);
        fields_.resize(count);
        for (unsigned k = 0; k < count; ++k) {
            Field& f = fields_[k];
            f.owner_ = this;
            f.index_ = k;
            const char* alias = outMeta_->getAlias(s, k);
            f.name_ = alias && *alias ? alias : outMeta_->getField(s, k);
            f.relation_ = outMeta_->getRelation(s, k);
            f.type_ = outMeta_->getType(s, k) & ~1u;
            f.subType_ = outMeta_->getSubType(s, k);
            f.scale_ = outMeta_->getScale(s, k);
            f.length_ = outMeta_->getLength(s, k);
            f.offset_ = outMeta_->getOffset(s, k);
            f.nullOffset_ = outMeta_->getNullOffset(s, k);
        }
    });
}

std::string SqlObject::MarkerDeclaration(std::size_t k) {
    Prepare();
    const InputSlot& slot = inputSlots_.at(k);
    const unsigned charset = Call(Connection(), sql_, [&](ThrowStatusWrapper* s) {
        return inMeta_->getCharSet(s, static_cast<unsigned>(k));
    });
    static const std::pair<unsigned, const char*> kCharsets[] = {
        // Single-byte sets only: their declared length is the described byte length.
        {0, "NONE"},     {1, "OCTETS"},   {2, "ASCII"},
        {51, "WIN1250"}, {52, "WIN1251"}, {53, "WIN1252"}};
    auto withCharset = [&](const std::string& type) -> std::string {
        for (const auto& [id, name] : kCharsets)
            if (id == (charset & 0xFF)) return type + " CHARACTER SET " + name;
        return {};
    };
    const std::string scale = std::to_string(-slot.scale);
    switch (slot.type) {
        case SQL_VARYING:
            return withCharset("VARCHAR(" + std::to_string(slot.length) + ")");
        case SQL_TEXT:
            return withCharset("CHAR(" + std::to_string(slot.length) + ")");
        case SQL_SHORT:
            return slot.scale == 0 ? "SMALLINT" : "NUMERIC(4," + scale + ")";
        case SQL_LONG:
            return slot.scale == 0 ? "INTEGER" : "NUMERIC(9," + scale + ")";
        case SQL_DOUBLE:
            return "DOUBLE PRECISION";
        case SQL_FLOAT:
            return "FLOAT";
        case SQL_TIMESTAMP:
            return "TIMESTAMP";
        default:
            return {};
    }
}

void SqlObject::ReleaseStatement() {
    CloseCursor();
    FreeStatement();
}

void SqlObject::FreeStatement() {
    inMeta_.Reset();
    outMeta_.Reset();
    if (statement_ && Connection().lost) statement_.Forget();
    if (statement_) {
        Status status;
        try {
            statement_->free(&status);
            statement_.Forget();  // free released the interface
        } catch (const FbException&) {
            // The connection may already be gone; the handle is useless either way.
            statement_.Reset();
        }
    }
    fields_.clear();
}

void SqlObject::BuildInput() {
    for (std::size_t k = 0; k < markers_.size(); ++k) WriteInput(k);
}

void SqlObject::CheckParam(const Param& param) {
    Prepare();
    for (std::size_t k = 0; k < markers_.size(); ++k)
        if (params_[markers_[k]].get() == &param) WriteInput(k, false);
}

void SqlObject::WriteValue(const ParamTarget& target, const Param& p) {
    switch (p.kind_) {
        case Param::Kind::Text:
            WriteText(target, p.text_);
            break;
        case Param::Kind::Integer:
            WriteDecimal(target, {p.integer_, 0});
            break;
        case Param::Kind::Money:
            WriteDecimal(target, {p.integer_, 4});
            break;
        case Param::Kind::Date:
            WriteDate(target, p.real_);
            break;
        case Param::Kind::Null:
            break;
    }
}

std::string SqlObject::TextOf(const Param& p) {
    if (p.kind_ == Param::Kind::Text) return p.text_;
    if (p.kind_ == Param::Kind::Null) return {};
    // Numbers and dates as a VARCHAR parameter would take them.
    unsigned char buffer[2 + 64] = {};
    const ParamTarget target{kSqlVarying, 0, 64, buffer};
    WriteValue(target, p);
    return ReadText(ColumnSource{kSqlVarying, 0, 64, buffer});
}

void SqlObject::WriteBlob(std::size_t k, const std::string& text) {
    const InputSlot& slot = inputSlots_[k];
    RequireActiveTransaction();
    // A text BLOB is declared as text in the connection's character set; Firebird converts it
    // to the column's, as it does for VARCHAR parameters.
    std::vector<unsigned char> bpb;
    if (slot.subType == 1)
        bpb = {isc_bpb_version1,
               isc_bpb_source_type,
               1,
               1,
               isc_bpb_target_type,
               1,
               1,
               isc_bpb_target_interp,
               1,
               static_cast<unsigned char>(slot.charSet & 0xFF)};
    ISC_QUAD id{};
    ConnectionState& db = Connection();
    Call(db, sql_, [&](ThrowStatusWrapper* s) {
        Firebird::IBlob* blob = db.attachment->createBlob(
            s, transaction_->handle.Get(), &id, static_cast<unsigned>(bpb.size()), bpb.data());
        try {
            // Segments of at most 32 KB; close writes the last one and releases the interface.
            constexpr std::size_t kSegment = 32768;
            for (std::size_t at = 0; at < text.size(); at += kSegment) {
                const std::size_t n = std::min(kSegment, text.size() - at);
                blob->putSegment(s, static_cast<unsigned>(n), text.data() + at);
            }
            blob->close(s);
        } catch (const FbException&) {
            AbandonBlob(blob);
            throw;
        }
    });
    std::memcpy(inBuffer_.data() + slot.offset, &id, sizeof id);
}

std::string SqlObject::ReadBlob(const unsigned char* data) const {
    ISC_QUAD id;
    std::memcpy(&id, data, sizeof id);
    std::string text;
    ConnectionState& db = Connection();
    Call(db, sql_, [&](ThrowStatusWrapper* s) {
        Firebird::IBlob* blob =
            db.attachment->openBlob(s, transaction_->handle.Get(), &id, 0, nullptr);
        try {
            char buffer[32768];
            for (;;) {
                unsigned n = 0;
                const int r = blob->getSegment(s, sizeof buffer, buffer, &n);
                if (r != IStatus::RESULT_OK && r != IStatus::RESULT_SEGMENT) break;
                text.append(buffer, n);
            }
            blob->close(s);
        } catch (const FbException&) {
            AbandonBlob(blob);
            throw;
        }
    });
    return text;
}

void SqlObject::WriteInput(std::size_t k, bool materialize) {
    const Param& p = *params_[markers_[k]];
    const InputSlot& slot = inputSlots_[k];
    const ParamTarget target{slot.type, slot.scale, slot.length, inBuffer_.data() + slot.offset};
    const short null = p.IsNull() ? -1 : 0;
    std::memcpy(inBuffer_.data() + slot.nullOffset, &null, sizeof null);
    if (slot.type == kSqlBlob && !p.IsNull()) {
        // Any value goes into a BLOB as its text, of any length: nothing to refuse beforehand.
        if (materialize) {
            try {
                WriteBlob(k, TextOf(p));
            } catch (const ConversionError& e) {
                throw Error(name_ + ": parameter " + p.Name() + ": " + e.what(), sql_);
            }
        }
        return;
    }
    try {
        WriteValue(target, p);
    } catch (const ConversionError& e) {
        throw Error(name_ + ": parameter " + p.Name() + ": " + e.what(), sql_);
    }
}

const Field* SqlObject::FindField(std::string_view name) const {
    for (const Field& f : fields_)
        if (text::EqualsIgnoreCase(f.Name(), name)) return &f;
    return nullptr;
}

const Field& SqlObject::FieldByName(std::string_view name) const {
    if (const Field* f = FindField(name)) return *f;
    throw Error(name_ + ": column \"" + std::string(name) + "\" not found", sql_);
}

// ---------------------------------------------------------------------------------------------

bool Field::IsNull() const {
    short n;
    std::memcpy(&n, owner_->outBuffer_.data() + nullOffset_, sizeof n);
    return n != 0;
}

void Field::Fail(const std::string& what) const {
    throw Error(owner_->Name() + ": column " + name_ + ": " + what, owner_->Sql());
}

namespace {
ColumnSource SourceOf(const Field& f, const unsigned char* data) {
    return ColumnSource{f.SqlType(), f.Scale(), f.Length(), data};
}
}  // namespace

#define MIGRACJA_FIELD_READ(expr)        \
    try {                                \
        return expr;                     \
    } catch (const ConversionError& e) { \
        Fail(e.what());                  \
    }

std::string Field::AsText() const {
    if (IsNull()) return {};
    if (type_ == kSqlBlob) return owner_->ReadBlob(owner_->outBuffer_.data() + offset_);
    MIGRACJA_FIELD_READ(ReadText(SourceOf(*this, owner_->outBuffer_.data() + offset_)))
}

std::optional<std::string> Field::AsOptionalText() const {
    if (IsNull()) return std::nullopt;
    return AsText();
}

std::optional<std::int32_t> Field::AsOptionalInteger() const {
    if (IsNull()) return std::nullopt;
    return AsInteger();
}

std::int64_t Field::AsInt64() const {
    if (IsNull()) return 0;
    MIGRACJA_FIELD_READ(ReadInt64(SourceOf(*this, owner_->outBuffer_.data() + offset_)))
}

std::int32_t Field::AsInteger() const {
    const std::int64_t v = AsInt64();
    if (v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max())
        Fail("value " + std::to_string(v) + " does not fit a 32-bit integer");
    return static_cast<std::int32_t>(v);
}

Money Field::AsMoney() const {
    if (IsNull()) return {};
    MIGRACJA_FIELD_READ(ReadMoney(SourceOf(*this, owner_->outBuffer_.data() + offset_)))
}

DateTime Field::AsDate() const {
    if (IsNull()) return 0;
    MIGRACJA_FIELD_READ(ReadDate(SourceOf(*this, owner_->outBuffer_.data() + offset_)))
}

#undef MIGRACJA_FIELD_READ

// ---------------------------------------------------------------------------------------------

// Out of line, where the Firebird interfaces the handles release are complete types.
Query::Query(Transaction& transaction, std::string name)
    : SqlObject(transaction, std::move(name)) {}

Query::~Query() {
    CloseCursor();
}

void Query::Open() {
    CloseCursor();
    Prepare();
    BuildInput();
    ++Connection().trips.open;
    Call(Connection(), sql_, [&](ThrowStatusWrapper* s) {
        cursor_.Reset(statement_->openCursor(s, transaction_->handle.Get(), inMeta_.Get(),
                                             inBuffer_.data(), outMeta_.Get(), 0));
        open_ = true;
        eof_ = cursor_->fetchNext(s, outBuffer_.data()) != IStatus::RESULT_OK;
    });
}

void Query::Next() {
    if (!cursor_ || eof_) return;
    Call(Connection(), sql_, [&](ThrowStatusWrapper* s) {
        eof_ = cursor_->fetchNext(s, outBuffer_.data()) != IStatus::RESULT_OK;
    });
}

void Query::CloseCursor() {
    open_ = false;
    eof_ = true;
    if (!cursor_) return;
    if (Connection().lost) {
        cursor_.Forget();  // as a transaction on a lost connection: nothing would answer
        return;
    }
    Status status;
    try {
        cursor_->close(&status);
        cursor_.Forget();  // close released the interface
    } catch (const FbException&) {
        // A cursor whose transaction already ended cannot be closed; only the reference remains.
        cursor_.Reset();
    }
}

// ---------------------------------------------------------------------------------------------

Statement::Statement(Transaction& transaction, std::string name)
    : SqlObject(transaction, std::move(name)) {}

Statement::~Statement() = default;

void Statement::ExecQuery() {
    Prepare();
    BuildInput();
    executed_ = nullptr;
    rowsAffected_ = 0;
    ++Connection().trips.execute;
    Call(Connection(), sql_, [&](ThrowStatusWrapper* s) {
        const bool hasOutput = !fields_.empty();
        statement_->execute(s, transaction_->handle.Get(), inMeta_.Get(), inBuffer_.data(),
                            hasOutput ? outMeta_.Get() : nullptr,
                            hasOutput ? outBuffer_.data() : nullptr);
    });
    executed_ = statement_.Get();
}

std::uint64_t Statement::RowsAffected() const {
    // A statement freed or prepared anew since (new SQL text, a closed connection) has no count.
    if (executed_ && executed_ == statement_.Get()) {
        ++Connection().trips.info;
        Call(Connection(), sql_,
             [&](ThrowStatusWrapper* s) { rowsAffected_ = statement_->getAffectedRecords(s); });
    }
    executed_ = nullptr;
    return rowsAffected_;
}

// ---------------------------------------------------------------------------------------------

TransactionScope::TransactionScope(Transaction& transaction, Query* query, Ends ends)
    : transaction_(transaction),
      query_(query),
      ends_(ends != Ends::IfStartedHere || !transaction.Active()),
      continues_(ends == Ends::Continues) {
    if (query_) query_->Close();
    transaction_.StartIfNeeded();
}

TransactionScope::~TransactionScope() {
    if (done_) return;
    if (query_) query_->Close();
    if (ends_) transaction_.RollbackQuietly();
}

void TransactionScope::Commit() {
    done_ = true;
    if (query_) query_->Close();
    if (!ends_) return;
    try {
        transaction_.Commit();
    } catch (...) {
        transaction_.RollbackQuietly();
        throw;
    }
    if (continues_) transaction_.Start();
}

}  // namespace migracja::fb
