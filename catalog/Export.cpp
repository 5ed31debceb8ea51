// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Export.h"

#include "catalog/store/Queries.h"

#include <QByteArrayView>
#include <QIODevice>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qm::Export {
namespace {

// Records formatted before their text is handed to the output.
constexpr int kRowsPerSlice = 8192;

enum class Kind { Text, Number, Bytes };

struct Column {
    std::string name;
    Kind kind;
    std::string expression = {}; // what the query reads; empty: main's column `name`
};

// How a column is written follows its declared type, so a column keeps one
// form in every record.
Kind kindOf(std::string declared)
{
    for (char& c : declared)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (declared.find("BLOB") != std::string::npos)
        return Kind::Bytes;
    for (const char* number : {"INT", "REAL", "FLOA", "DOUB", "NUM"})
        if (declared.find(number) != std::string::npos)
            return Kind::Number;
    return Kind::Text;
}

// Every column of main in table order, then what tables beside main know of
// the record: its content fingerprint and its media details; and last the disk's location, looked
// up in memory by the record's scan (see RowWriter::addLocations).
std::vector<Column> columnsOf(SQLite::Database& db)
{
    std::vector<Column> columns;
    SQLite::Statement info(db, Queries::kMainColumns);
    while (info.executeStep())
        columns.push_back({info.getColumn(0).getString(), kindOf(info.getColumn(1).getString())});
    columns.push_back({"fingerprint", Kind::Bytes, Queries::kExportFingerprint});
    // What a photo, music or video file's headers said (table media, joined as md).
    for (const auto& [name, kind] : std::initializer_list<std::pair<const char*, Kind>> {{"Taken", Kind::Text},
             {"Make", Kind::Text}, {"Model", Kind::Text}, {"Lens", Kind::Text}, {"Width", Kind::Number},
             {"Height", Kind::Number}, {"Latitude", Kind::Number}, {"Longitude", Kind::Number},
             {"Artist", Kind::Text}, {"Album", Kind::Text}, {"Title", Kind::Text}, {"Track", Kind::Number},
             {"Year", Kind::Number}, {"DurationMs", Kind::Number}, {"Codec", Kind::Text}}) {
        std::string shown = name == std::string_view("DurationMs") ? "duration_ms" : name;
        for (char& c : shown)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        columns.push_back({"media_" + shown, kind, std::string("md.") + name});
    }
    return columns;
}

// Where the disk of each scan of `catalogue` is kept, by the scan's key;
// scans of disks without a location are left out.
std::unordered_map<std::string, std::string> locationsOf(SQLite::Database& db, const QByteArray& catalogue)
{
    std::unordered_map<std::string, std::string> places;
    SQLite::Statement st(db, Queries::kScanLocations);
    st.bind(1, catalogue.toStdString());
    while (st.executeStep())
        places.emplace(st.getColumn(0).getString(), st.getColumn(1).getString());
    return places;
}

std::string quotedName(const std::string& name)
{
    std::string quoted = "\"";
    for (char c : name)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + '"';
}

using StatementPtr = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

class RowWriter {
public:
    RowWriter(Format format, const std::vector<Column>& columns) : format_(format), columns_(columns)
    {
        for (size_t i = 0; i < columns.size(); ++i) {
            std::string key = i == 0 ? "{" : ",";
            appendJsonString(key, columns[i].name);
            keys_.push_back(key + ':');
        }
    }

    std::string& text() { return text_; }

    // A last field beyond the row's columns: the location of the disk of
    // the record's scan, looked up by the record's delKey (column `delKey`).
    void addLocations(std::unordered_map<std::string, std::string> places, int delKey)
    {
        places_ = std::move(places);
        delKey_ = delKey;
        std::string key = ",";
        appendJsonString(key, std::string_view("location"));
        locationKey_ = key + ':';
    }

    void header()
    {
        if (format_ == Format::Json)
            return;
        for (size_t i = 0; i < columns_.size(); ++i) {
            if (i > 0)
                text_ += ',';
            appendCsvField(text_, columns_[i].name);
        }
        text_ += ",location\r\n";
    }

    void row(sqlite3_stmt* st)
    {
        const bool json = format_ == Format::Json;
        for (int i = 0; i < static_cast<int>(columns_.size()); ++i) {
            if (json)
                text_ += keys_[i];
            else if (i > 0)
                text_ += ',';
            value(st, i, columns_[i].kind, json);
        }
        location(st, json);
        text_ += json ? "}\n" : "\r\n";
    }

private:
    void location(sqlite3_stmt* st, bool json)
    {
        text_ += json ? locationKey_ : std::string(",");
        const char* key = delKey_ >= 0 ? reinterpret_cast<const char*>(sqlite3_column_text(st, delKey_)) : nullptr;
        const auto it = key ? places_.find(std::string(key, static_cast<size_t>(sqlite3_column_bytes(st, delKey_))))
                            : places_.end();
        if (it == places_.end()) {
            if (json)
                text_ += "null";
        } else if (json) {
            appendJsonString(text_, it->second);
        } else {
            appendCsvField(text_, it->second);
        }
    }

    void value(sqlite3_stmt* st, int i, Kind kind, bool json)
    {
        const int type = sqlite3_column_type(st, i);
        if (type == SQLITE_NULL) {
            if (json)
                text_ += "null";
            return;
        }
        if (kind == Kind::Bytes || (kind == Kind::Number && type == SQLITE_BLOB)) {
            const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(st, i));
            const int size = sqlite3_column_bytes(st, i);
            static constexpr char kDigits[] = "0123456789abcdef";
            if (json)
                text_ += '"';
            for (int b = 0; b < size; ++b) {
                text_ += kDigits[bytes[b] >> 4];
                text_ += kDigits[bytes[b] & 15];
            }
            if (json)
                text_ += '"';
            return;
        }
        if (kind == Kind::Number && type == SQLITE_INTEGER) {
            appendNumber(sqlite3_column_int64(st, i));
            return;
        }
        if (kind == Kind::Number && type == SQLITE_FLOAT) {
            const double number = sqlite3_column_double(st, i);
            if (json && !std::isfinite(number))
                text_ += "null"; // JSON has no infinity
            else
                appendNumber(number);
            return;
        }
        // A text column holds text; a number column holding text keeps it.
        const auto* chars = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        std::string_view text(chars, static_cast<size_t>(sqlite3_column_bytes(st, i)));
        QByteArray repaired;
        if (!QByteArrayView(text.data(), static_cast<qsizetype>(text.size())).isValidUtf8()) {
            repaired = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUtf8();
            text = std::string_view(repaired.constData(), static_cast<size_t>(repaired.size()));
        }
        if (json)
            appendJsonString(text_, text);
        else
            appendCsvField(text_, text);
    }

    template <typename Number>
    void appendNumber(Number number)
    {
        char digits[32];
        const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
        text_.append(digits, end);
    }

    static void appendCsvField(std::string& out, std::string_view field)
    {
        if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
            out += field;
            return;
        }
        out += '"';
        for (size_t start = 0;;) {
            const size_t quote = field.find('"', start);
            out += field.substr(start, quote - start);
            if (quote == std::string_view::npos)
                break;
            out += "\"\"";
            start = quote + 1;
        }
        out += '"';
    }

    static void appendJsonString(std::string& out, std::string_view s)
    {
        out += '"';
        size_t plain = 0;
        for (size_t i = 0; i < s.size(); ++i) {
            const auto c = static_cast<unsigned char>(s[i]);
            if (c >= 0x20 && c != '"' && c != '\\')
                continue;
            out.append(s, plain, i - plain);
            plain = i + 1;
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: {
                static constexpr char kDigits[] = "0123456789abcdef";
                out += "\\u00";
                out += kDigits[c >> 4];
                out += kDigits[c & 15];
            }
            }
        }
        out.append(s, plain);
        out += '"';
    }

    Format format_;
    const std::vector<Column>& columns_;
    std::vector<std::string> keys_; // `{"ID":` and `,"Parent":` ahead of each JSON value
    std::string text_;
    std::unordered_map<std::string, std::string> places_; // a scan's key to its disk's location
    int delKey_ = -1;
    std::string locationKey_; // `,"location":`
};

bool flush(std::string& text, QIODevice& out)
{
    const bool written = out.write(text.data(), static_cast<qint64>(text.size()))
        == static_cast<qint64>(text.size());
    text.clear();
    return written;
}

QString storeError(sqlite3* db) { return QStringLiteral("the store failed: ") + QString::fromUtf8(sqlite3_errmsg(db)); }

} // namespace

bool readingHoldsWriters(SQLite::Database& db)
{
    SQLite::Statement mode(db, "PRAGMA journal_mode");
    return !mode.executeStep() || mode.getColumn(0).getString() != "wal";
}

bool knows(SQLite::Database& db, const QString& catalogue)
{
    const std::string name = catalogue.toStdString();
    for (const char* query : {Queries::kKeyMark, Queries::kCatalogueHasRecords}) {
        SQLite::Statement st(db, query);
        st.bind(1, name);
        if (st.executeStep())
            return true;
    }
    return false;
}

Result write(SQLite::Database& db, const QString& catalogue, Format format, QIODevice& out)
{
    Result result;
    const OneState state(db);
    const std::vector<Column> columns = columnsOf(db);
    std::string select;
    for (const Column& c : columns)
        select += (c.expression.empty() ? "main." + quotedName(c.name) : c.expression) + ", ";
    select += "main.SrNO"; // where the next slice starts; not written

    sqlite3* handle = db.getHandle();
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(handle, Queries::exportRecords(select).c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        result.problem = storeError(handle);
        return result;
    }
    const StatementPtr st(raw, sqlite3_finalize);
    const QByteArray name = catalogue.toUtf8();
    sqlite3_bind_text(raw, 1, name.constData(), static_cast<int>(name.size()), SQLITE_STATIC);
    sqlite3_bind_int(raw, 3, kRowsPerSlice);
    const int serial = static_cast<int>(columns.size());

    RowWriter writer(format, columns);
    int delKey = -1;
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].name == "delKey")
            delKey = static_cast<int>(i);
    try {
        writer.addLocations(locationsOf(db, name), delKey);
    } catch (const std::exception& e) {
        result.problem = QString::fromUtf8(e.what());
        return result;
    }
    writer.header();
    sqlite3_int64 last = std::numeric_limits<sqlite3_int64>::min();
    for (;;) {
        sqlite3_bind_int64(raw, 2, last);
        int rows = 0;
        int step;
        while ((step = sqlite3_step(raw)) == SQLITE_ROW) {
            writer.row(raw);
            last = sqlite3_column_int64(raw, serial);
            ++rows;
        }
        if (step != SQLITE_DONE) {
            result.problem = storeError(handle);
            return result;
        }
        sqlite3_reset(raw);
        if (!flush(writer.text(), out)) {
            result.problem = QStringLiteral("the output cannot be written: ") + out.errorString();
            return result;
        }
        result.records += rows;
        if (rows < kRowsPerSlice)
            return result;
    }
}

} // namespace qm::Export
