#include "tools/quorvan/sqlite_db.h"

#include <utility>

namespace qvr::quorvan {

Database::~Database() { Close(); }

Database::Database(Database&& other) noexcept : m_db(std::exchange(other.m_db, nullptr)) {}

Database& Database::operator=(Database&& other) noexcept {
    if (this != &other) {
        Close();
        m_db = std::exchange(other.m_db, nullptr);
    }
    return *this;
}

void Database::Close() {
    if (m_db) sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool Database::Open(const std::string& file, Mode mode, std::string& error) {
    Close();
    int flags = SQLITE_OPEN_NOMUTEX;
    switch (mode) {
    case Mode::ReadOnly: flags |= SQLITE_OPEN_READONLY; break;
    case Mode::ReadWrite: flags |= SQLITE_OPEN_READWRITE; break;
    case Mode::Create: flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE; break;
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        if (db) sqlite3_close_v2(db);
        return false;
    }
    m_db = db;
    // Another tool may be importing; wait for it rather than fail at once.
    sqlite3_busy_timeout(m_db, 10000);
    sqlite3_extended_result_codes(m_db, 0);
    return true;
}

bool Database::Exec(std::string_view sql, std::string& error) {
    std::string text(sql);
    char* message = nullptr;
    int rc = sqlite3_exec(m_db, text.c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        error = message ? message : sqlite3_errstr(rc);
        sqlite3_free(message);
        return false;
    }
    return true;
}

std::string Database::LastError() const { return m_db ? sqlite3_errmsg(m_db) : "database not open"; }

std::int64_t Database::LastInsertId() const { return sqlite3_last_insert_rowid(m_db); }

Statement::~Statement() { Finalize(); }

Statement::Statement(Statement&& other) noexcept : m_stmt(std::exchange(other.m_stmt, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        Finalize();
        m_stmt = std::exchange(other.m_stmt, nullptr);
    }
    return *this;
}

void Statement::Finalize() {
    if (m_stmt) sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
}

bool Statement::Prepare(const Database& db, std::string_view sql, std::string& error,
                        std::string_view* tail) {
    Finalize();
    const char* rest = nullptr;
    int rc = sqlite3_prepare_v2(db.Handle(), sql.data(), static_cast<int>(sql.size()), &m_stmt,
                                &rest);
    if (rc != SQLITE_OK) {
        error = sqlite3_errmsg(db.Handle());
        Finalize();
        return false;
    }
    if (tail) *tail = rest ? sql.substr(static_cast<std::size_t>(rest - sql.data())) : std::string_view();
    return true;
}

void Statement::Bind(int index, std::string_view text) {
    sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void Statement::Bind(int index, std::int64_t value) { sqlite3_bind_int64(m_stmt, index, value); }

void Statement::BindBlob(int index, std::string_view bytes) {
    // A zero-length blob still has to be a blob, not NULL.
    static const char empty = 0;
    sqlite3_bind_blob(m_stmt, index, bytes.empty() ? &empty : bytes.data(),
                      static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

void Statement::BindNull(int index) { sqlite3_bind_null(m_stmt, index); }

int Statement::Step() { return m_stmt ? sqlite3_step(m_stmt) : SQLITE_MISUSE; }

void Statement::Reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int Statement::ColumnCount() const { return sqlite3_column_count(m_stmt); }

std::string Statement::ColumnName(int column) const {
    const char* name = sqlite3_column_name(m_stmt, column);
    return name ? name : "";
}

bool Statement::IsNull(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }

std::string Statement::Text(int column) const { return std::string(TextView(column)); }

std::string_view Statement::TextView(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    int size = sqlite3_column_bytes(m_stmt, column);
    return text ? std::string_view(text, static_cast<std::size_t>(size)) : std::string_view();
}

std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(m_stmt, column); }

std::string_view Statement::Blob(int column) const {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
    int size = sqlite3_column_bytes(m_stmt, column);
    return data ? std::string_view(data, static_cast<std::size_t>(size)) : std::string_view();
}

Transaction::Transaction(Database& db, Kind kind) : m_db(db), m_kind(kind) {}

Transaction::~Transaction() {
    if (m_active) {
        std::string ignored;
        m_db.Exec("ROLLBACK", ignored);
    }
}

bool Transaction::Begin(std::string& error) {
    m_active = m_db.Exec(m_kind == Kind::Write ? "BEGIN IMMEDIATE" : "BEGIN DEFERRED", error);
    return m_active;
}

bool Transaction::Commit(std::string& error) {
    if (!m_db.Exec("COMMIT", error)) return false;
    m_active = false;
    return true;
}

}  // namespace qvr::quorvan
