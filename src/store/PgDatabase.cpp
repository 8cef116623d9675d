#include "store/PgDatabase.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>

namespace store {

namespace {

// A SQLSTATE as one number, the way the server packs it (six bits per character).
int packedSqlState(std::string_view state)
{
    int code = 0;
    for (std::size_t i = 0; i < state.size() && i < 5; ++i)
        code += ((state[i] - '0') & 0x3F) << (6 * i);
    return code;
}

constexpr std::string_view ConnectionLost = "08006";

bool validUtf8(std::string_view text)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int more = 0;
        std::uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(more) >= n)
            return false;
        for (int k = 1; k <= more; ++k) {
            const auto d = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((more == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

bool isWriteStatement(std::string_view sql)
{
    std::size_t i = 0;
    while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i])))
        ++i;
    std::string word;
    while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])))
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
    return word == "INSERT" || word == "UPDATE" || word == "DELETE" || word == "WITH";
}

} // namespace

Failure failureOfSqlState(std::string_view state)
{
    if (state == "53100" || state == "54000")
        return Failure::DiskFull; // disk full, program limit exceeded
    if (state.starts_with("08") || state.starts_with("57P") || state.starts_with("58") || state == "XX001" ||
        state == "XX002")
        return Failure::IoError; // connection lost, server shut down, I/O error, corrupt data
    if (state == "40001" || state == "40P01" || state == "55P03" || state == "57014")
        return Failure::Busy; // serialization failure, deadlock, lock wait timed out
    if (state.starts_with("23"))
        return Failure::Constraint;
    if (state == "42P01" || state == "3D000")
        return Failure::NotAStore; // no such table, no such database
    return Failure::Other;
}

std::string numberedParameters(std::string_view sql, int *count, std::vector<bool> *used)
{
    std::string out;
    out.reserve(sql.size() + 16);
    int next = 0;
    int highest = 0;
    char quote = 0;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (quote) {
            out += c;
            if (c == quote)
                quote = 0;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            out += c;
            continue;
        }
        if (c != '?') {
            out += c;
            continue;
        }
        std::size_t j = i + 1;
        while (j < sql.size() && std::isdigit(static_cast<unsigned char>(sql[j])))
            ++j;
        int number = ++next;
        if (j > i + 1)
            std::from_chars(sql.data() + i + 1, sql.data() + j, number);
        highest = std::max(highest, number);
        if (used) {
            if (used->size() < static_cast<std::size_t>(number))
                used->resize(static_cast<std::size_t>(number));
            (*used)[static_cast<std::size_t>(number - 1)] = true;
        }
        out += '$';
        out += std::to_string(number);
        i = j - 1;
    }
    if (count)
        *count = highest;
    return out;
}

// ---- PgQuery

PgQuery::PgQuery(PgDatabase &db, const std::string &name, const std::string &text, int params, bool writes)
    : m_db(&db), m_name(&name), m_text(&text), m_writes(writes), m_params(static_cast<std::size_t>(params))
{
}

PgQuery::PgQuery(PgQuery &&other) noexcept
    : m_db(other.m_db), m_name(other.m_name), m_text(other.m_text), m_writes(other.m_writes), m_params(std::move(other.m_params)),
      m_result(other.m_result), m_row(other.m_row)
{
    other.m_result = nullptr;
}

PgQuery::~PgQuery()
{
    if (m_result)
        PQclear(m_result);
}

PgQuery &PgQuery::bind(int index, std::int64_t value)
{
    m_params.at(static_cast<std::size_t>(index - 1)) = std::to_string(value);
    return *this;
}

PgQuery &PgQuery::bind(int index, double value)
{
    char buffer[64];
    // The shortest text that reads back as the same double; never the locale's comma.
    auto res = std::to_chars(buffer, buffer + sizeof buffer, value);
    m_params.at(static_cast<std::size_t>(index - 1)) = std::string(buffer, res.ptr);
    return *this;
}

PgQuery &PgQuery::bind(int index, std::string_view text)
{
    m_db->checkText(text);
    m_params.at(static_cast<std::size_t>(index - 1)) = std::string(text);
    return *this;
}

PgQuery &PgQuery::bindNull(int index)
{
    m_params.at(static_cast<std::size_t>(index - 1)).reset();
    return *this;
}

PgQuery &PgQuery::bind(int index, const std::optional<std::string> &text)
{
    return text ? bind(index, std::string_view(*text)) : bindNull(index);
}

PgQuery &PgQuery::bind(int index, const std::optional<double> &value)
{
    return value ? bind(index, *value) : bindNull(index);
}

void PgQuery::execute()
{
    if (m_writes)
        m_db->beforeWrite();
    m_result = m_db->execPrepared(*m_name, m_params, *m_text);
    m_row = -1;
}

bool PgQuery::step()
{
    if (!m_result)
        execute();
    ++m_row;
    return m_row < PQntuples(m_result);
}

void PgQuery::run()
{
    if (!m_result)
        execute();
}

void PgQuery::defer()
{
    if (m_writes)
        m_db->beforeWrite();
    m_db->send(*m_name, m_params, *m_text);
}

void PgQuery::reset()
{
    if (m_result)
        PQclear(m_result);
    m_result = nullptr;
    m_row = -1;
}

std::int64_t PgQuery::changes() const
{
    const char *n = m_result ? PQcmdTuples(m_result) : "";
    std::int64_t out = 0;
    std::from_chars(n, n + std::strlen(n), out);
    return out;
}

bool PgQuery::isNull(int column) const
{
    return PQgetisnull(m_result, m_row, column) != 0;
}

std::int64_t PgQuery::int64(int column) const
{
    const char *v = PQgetvalue(m_result, m_row, column);
    // A boolean (EXISTS, a comparison) reads as SQLite gives it: 1 or 0.
    if (PQftype(m_result, column) == 16)
        return *v == 't' ? 1 : 0;
    std::int64_t out = 0;
    std::from_chars(v, v + PQgetlength(m_result, m_row, column), out);
    return out;
}

double PgQuery::real(int column) const
{
    const char *v = PQgetvalue(m_result, m_row, column);
    double out = 0;
    std::from_chars(v, v + PQgetlength(m_result, m_row, column), out);
    return out;
}

std::string PgQuery::text(int column) const
{
    return std::string(PQgetvalue(m_result, m_row, column),
                       static_cast<std::size_t>(PQgetlength(m_result, m_row, column)));
}

std::optional<std::string> PgQuery::optText(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return text(column);
}

std::optional<double> PgQuery::optReal(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return real(column);
}

// ---- PgDatabase

std::unique_ptr<PgDatabase> PgDatabase::connect(const std::string &uri)
{
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(uri.c_str(), &error);
    if (!options) {
        std::string msg = error ? error : "malformed location";
        PQfreemem(error);
        throw StoreError(Failure::IoError, packedSqlState(ConnectionLost),
                         "cannot read the store location: " + msg);
    }
    bool password = false;
    for (PQconninfoOption *o = options; o->keyword; ++o) {
        if (std::strcmp(o->keyword, "password") == 0 && o->val && *o->val)
            password = true;
    }
    PQconninfoFree(options);
    if (password)
        throw StoreError(Failure::IoError, packedSqlState(ConnectionLost),
                         "the store location carries a password: keep it in the password file (~/.pgpass or "
                         "PGPASSFILE) instead");

    pg_conn *conn = PQconnectdb(uri.c_str());
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        std::string msg = conn ? PQerrorMessage(conn) : "out of memory";
        while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' '))
            msg.pop_back();
        PQfinish(conn);
        throw StoreError(Failure::IoError, packedSqlState(ConnectionLost),
                         "cannot connect to \"" + uri + "\": " + msg);
    }
    std::unique_ptr<PgDatabase> db(new PgDatabase(conn, uri));
    const char *encoding = PQparameterStatus(conn, "server_encoding");
    db->m_utf8 = encoding && std::strcmp(encoding, "UTF8") == 0;
    // Notices (a savepoint released twice, ...) are nobody's business on the console.
    PQsetNoticeProcessor(conn, [](void *, const char *) {}, nullptr);
    return db;
}

PgDatabase::PgDatabase(pg_conn *conn, std::string location) : m_conn(conn), m_location(std::move(location)) {}

PgDatabase::~PgDatabase()
{
    PQfinish(m_conn);
}

void PgDatabase::checkText(std::string_view text) const
{
    // libpq hands text to the server as C strings, and the server takes only text of its
    // encoding: refuse here what would be cut short or spoil the transaction there.
    if (text.find('\0') != std::string_view::npos)
        throw StoreError(Failure::Constraint, packedSqlState("22021"), "a text holding a NUL byte cannot be stored");
    if (m_utf8 && !validUtf8(text))
        throw StoreError(Failure::Constraint, packedSqlState("22021"), "a text that is not UTF-8 cannot be stored");
}

PgQuery PgDatabase::query(std::string_view sql)
{
    auto it = m_prepared.find(std::string(sql));
    if (it == m_prepared.end()) {
        flush();
        int params = 0;
        std::vector<bool> used;
        const std::string text = numberedParameters(sql, &params, &used);
        const std::string name = "s" + std::to_string(m_prepared.size() + 1);
        // A parameter the text does not name (one column of an UPDATE left out) still
        // needs a type; the server infers the others.
        constexpr unsigned TextType = 25;
        std::vector<unsigned> types(static_cast<std::size_t>(params), 0);
        for (std::size_t i = 0; i < types.size(); ++i)
            types[i] = used[i] ? 0 : TextType;
        pg_result *r = PQprepare(m_conn, name.c_str(), text.c_str(), params, types.data());
        if (!r || PQresultStatus(r) != PGRES_COMMAND_OK)
            fail(r, text);
        PQclear(r);
        it = m_prepared.emplace(std::string(sql), Prepared{name, text, params, isWriteStatement(sql)}).first;
    }
    return PgQuery(*this, it->second.name, it->second.text, it->second.params, it->second.writes);
}

void PgDatabase::exec(std::string_view sql)
{
    flush();
    const std::string text(sql);
    pg_result *r = PQexec(m_conn, text.c_str());
    const auto status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        fail(r, text);
    PQclear(r);
}

pg_result *PgDatabase::execPrepared(const std::string &name, const std::vector<std::optional<std::string>> &params,
                                    const std::string &text)
{
    flush();
    std::vector<const char *> values(params.size());
    for (std::size_t i = 0; i < params.size(); ++i)
        values[i] = params[i] ? params[i]->c_str() : nullptr;
    pg_result *r = PQexecPrepared(m_conn, name.c_str(), static_cast<int>(params.size()), values.data(), nullptr,
                                  nullptr, 0);
    const auto status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        fail(r, text);
    return r;
}

void PgDatabase::send(const std::string &name, const std::vector<std::optional<std::string>> &params,
                      const std::string &text)
{
    if (PQpipelineStatus(m_conn) == PQ_PIPELINE_OFF && !PQenterPipelineMode(m_conn))
        fail(nullptr, "pipeline");
    std::vector<const char *> values(params.size());
    for (std::size_t i = 0; i < params.size(); ++i)
        values[i] = params[i] ? params[i]->c_str() : nullptr;
    if (!PQsendQueryPrepared(m_conn, name.c_str(), static_cast<int>(params.size()), values.data(), nullptr,
                             nullptr, 0))
        fail(nullptr, text);
    ++m_deferred;
    // The server answers each write with a few bytes; collecting them now and then keeps
    // both sides' buffers from filling up.
    if (m_deferred >= 512)
        flush();
}

void PgDatabase::push()
{
    runBeforeFlush();
    if (PQpipelineStatus(m_conn) != PQ_PIPELINE_OFF && PQflush(m_conn) != 0)
        fail(nullptr, "pipeline");
}

void PgDatabase::runBeforeFlush()
{
    if (m_beforeFlush && !m_inBeforeFlush) {
        m_inBeforeFlush = true;
        const bool consult = m_consultOnWrite;
        m_consultOnWrite = false; // its writes were asked about one by one
        try {
            m_beforeFlush();
        } catch (...) {
            m_consultOnWrite = consult;
            m_inBeforeFlush = false;
            throw;
        }
        m_consultOnWrite = consult;
        m_inBeforeFlush = false;
    }
}

void PgDatabase::flushWith(const std::vector<PgQuery *> &reads)
{
    runBeforeFlush();
    if (!reads.empty() && PQpipelineStatus(m_conn) == PQ_PIPELINE_OFF && !PQenterPipelineMode(m_conn))
        fail(nullptr, "pipeline");
    if (PQpipelineStatus(m_conn) == PQ_PIPELINE_OFF)
        return;
    for (PgQuery *read : reads) {
        read->reset();
        std::vector<const char *> values(read->m_params.size());
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = read->m_params[i] ? read->m_params[i]->c_str() : nullptr;
        if (!PQsendQueryPrepared(m_conn, read->m_name->c_str(), static_cast<int>(values.size()), values.data(),
                                 nullptr, nullptr, 0))
            fail(nullptr, *read->m_text);
    }
    const std::size_t writes = m_deferred;
    const std::size_t expected = writes + reads.size();
    m_deferred = 0;
    pg_result *failed = nullptr;
    bool broken = !PQpipelineSync(m_conn);
    std::size_t statement = 0; // whose results come now: the writes, then the reads
    while (!broken) {
        pg_result *r = PQgetResult(m_conn);
        if (!r) {
            // The end of one statement's results.
            if (++statement > expected + 1) {
                broken = true;
                break;
            }
            continue;
        }
        const auto status = PQresultStatus(r);
        if (status == PGRES_PIPELINE_SYNC) {
            PQclear(r);
            break;
        }
        if (status == PGRES_FATAL_ERROR && !failed) {
            failed = r;
        } else if (status == PGRES_TUPLES_OK && statement >= writes && statement < expected &&
                   !reads[statement - writes]->m_result) {
            reads[statement - writes]->m_result = r;
            reads[statement - writes]->m_row = -1;
        } else {
            PQclear(r);
        }
        if (PQstatus(m_conn) == CONNECTION_BAD) {
            broken = true;
            break;
        }
    }
    if (!broken)
        PQexitPipelineMode(m_conn);
    if (failed || broken) {
        for (PgQuery *read : reads)
            read->reset();
        fail(failed, "deferred writes");
    }
    for (PgQuery *read : reads) {
        if (!read->m_result)
            fail(nullptr, *read->m_text);
    }
}

bool PgDatabase::inTransaction() const
{
    const auto status = PQtransactionStatus(m_conn);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
}

bool PgDatabase::transactionFailed() const
{
    return PQtransactionStatus(m_conn) == PQTRANS_INERROR;
}

void PgDatabase::consult(Env::Step step)
{
    if (auto fault = Env::current().before(step)) {
        const char *state = fault->failure == Failure::DiskFull ? "53100"
                            : fault->failure == Failure::Busy   ? "55P03"
                                                                : "58030";
        throw StoreError(fault->failure, packedSqlState(state), fault->what);
    }
}

void PgDatabase::beforeWrite()
{
    if (m_consultOnWrite)
        consult(Env::Step::Write);
}

void PgDatabase::fail(pg_result *result, std::string_view context)
{
    std::string state;
    std::string msg;
    if (result) {
        if (const char *s = PQresultErrorField(result, PG_DIAG_SQLSTATE))
            state = s;
        if (const char *m = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY))
            msg = m;
        PQclear(result);
    }
    if (PQstatus(m_conn) == CONNECTION_BAD) {
        state = std::string(ConnectionLost);
        msg = "the connection to the store was lost";
        if (const char *m = PQerrorMessage(m_conn); m && *m) {
            std::string detail = m;
            while (!detail.empty() && (detail.back() == '\n' || detail.back() == ' '))
                detail.pop_back();
            msg += " (" + detail + ")";
        }
    } else if (msg.empty()) {
        msg = PQerrorMessage(m_conn);
        while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' '))
            msg.pop_back();
    }
    if (state.empty())
        state = "XX000";
    // A failed statement spoils the transaction: outside a savepoint nothing of it can
    // be kept, so it ends now, and the batch above learns that it is gone.
    if (m_savepointDepth == 0 && PQstatus(m_conn) == CONNECTION_OK) {
        if (PQpipelineStatus(m_conn) != PQ_PIPELINE_OFF)
            PQexitPipelineMode(m_conn);
        if (PQtransactionStatus(m_conn) == PQTRANS_INERROR)
            PQclear(PQexec(m_conn, "ROLLBACK"));
    }
    throw StoreError(failureOfSqlState(state), packedSqlState(state),
                     msg + " (SQLSTATE " + state + ", in: " + std::string(context) + ")");
}

} // namespace store
