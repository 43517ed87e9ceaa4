#pragma once
// Thin RAII owners of an SQLite connection and a prepared statement. Errors
// travel as return values with the database's own message, so every tool can
// put that message on its "Error: " line.

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace qvr::quorvan {

class Statement;

class Database {
public:
    enum class Mode { ReadOnly, ReadWrite, Create };

    Database() = default;
    ~Database();
    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens the file; never creates it unless mode is Create.
    bool Open(const std::string& file, Mode mode, std::string& error);
    bool IsOpen() const { return m_db != nullptr; }

    // Runs one or more statements that return no rows.
    bool Exec(std::string_view sql, std::string& error);
    std::string LastError() const;
    std::int64_t LastInsertId() const;
    sqlite3* Handle() const { return m_db; }

private:
    void Close();
    sqlite3* m_db = nullptr;
};

class Statement {
public:
    Statement() = default;
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Prepares the first statement of sql; tail receives the unused rest.
    bool Prepare(const Database& db, std::string_view sql, std::string& error,
                 std::string_view* tail = nullptr);

    void Bind(int index, std::string_view text);
    void Bind(int index, std::int64_t value);
    void BindBlob(int index, std::string_view bytes);
    void BindNull(int index);

    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();
    void Reset();

    int ColumnCount() const;
    std::string ColumnName(int column) const;
    bool IsNull(int column) const;
    std::string Text(int column) const;
    std::string_view TextView(int column) const;
    std::int64_t Int(int column) const;
    std::string_view Blob(int column) const;

private:
    void Finalize();
    sqlite3_stmt* m_stmt = nullptr;
};

// Rolls back unless Commit() succeeded, so a failure half-way through an
// administrative command leaves the repository as it was. A read transaction
// gives a tool one consistent snapshot (and one lock instead of one per
// statement) even while an import runs beside it.
class Transaction {
public:
    enum class Kind { Write, Read };

    explicit Transaction(Database& db, Kind kind = Kind::Write);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool Begin(std::string& error);
    bool Commit(std::string& error);

private:
    Database& m_db;
    Kind m_kind;
    bool m_active = false;
};

}  // namespace qvr::quorvan
