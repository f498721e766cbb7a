#include "DbCommands.h"

#include <QFileInfo>
#include <QSet>

#include "app/CLorn2App.h"
#include "archive/DayMonRecord.h"
#include "base/MessageBox.h"
#include "storage/ArchiveDatabase.h"
#include "storage/PgConnection.h"

using namespace Qt::Literals::StringLiterals;
using Table = ArchiveDatabase::Table;

namespace {

struct TableInfo
{
    Table table;
    const char* name;
    const char* index; // none for DEVTYPES: its key is the primary key
};

constexpr TableInfo kTables[] = {
    { Table::DevTypes, "DEVTYPES", nullptr },
    { Table::ArcRecs, "ARCRECS", "ARCRECS_KEY" },
    { Table::CfgArcRecs, "CFGARCRECS", "CFGARCRECS_KEY" },
};

QString kindOf(const ArchiveDatabase& db)
{
    return db.isServer() ? u"PostgreSQL "_s + db.describe() : u"SQLite "_s + QFileInfo(db.path()).absoluteFilePath();
}

QString keyOf(Table t, const ArchiveDatabase::RawRow& r)
{
    switch (t) {
    case Table::DevTypes:
        return QString::number(r.devType);
    case Table::ArcRecs:
        return u"%1/%2/%3/%4"_s.arg(r.devType).arg(r.serial).arg(r.recType).arg(r.dateTime);
    case Table::CfgArcRecs:
        break;
    }
    return u"%1/%2/%3"_s.arg(r.devType).arg(r.serial).arg(r.dateTime);
}

int check(ArchiveDatabase& db, CliStreams& io)
{
    io.out << u"База данных: "_s << kindOf(db) << u'\n';
    int problems = 0;
    for (const TableInfo& t : kTables) {
        const QString name = QString::fromLatin1(t.name);
        bool present = false;
        if (FAILED(db.hasTable(name, present))) {
            io.out << u"Таблица "_s << name << u": ошибка чтения: "_s << db.lastError() << u'\n';
            ++problems;
            continue;
        }
        if (!present) {
            io.out << u"Таблица "_s << name << u": нет\n"_s;
            ++problems;
            continue;
        }
        qint64 rows = 0, daily = 0, monthly = 0, shortBlobs = 0, broken = 0, doubled = 0;
        QSet<QString> keys;
        const HRESULT hr = db.forEachRow(t.table, [&](const ArchiveDatabase::RawRow& r) {
            ++rows;
            if (keys.contains(keyOf(t.table, r)))
                ++doubled;
            else
                keys.insert(keyOf(t.table, r));
            if (t.table == Table::ArcRecs) {
                daily += r.recType == archive::kEventDaily;
                monthly += r.recType == archive::kEventMonthly;
                shortBlobs += r.blob.size() < qsizetype(u_data_daymon_full::kSize);
            } else if (t.table == Table::CfgArcRecs) {
                const std::optional<CfgArcRecord> rec = CfgArcRecord::fromBytes(r.blob);
                shortBlobs += !rec;
                broken += rec && !rec->isIntact();
            }
            return true;
        });
        if (FAILED(hr)) {
            io.out << u"Таблица "_s << name << u": ошибка чтения: "_s << db.lastError() << u'\n';
            ++problems;
            continue;
        }
        io.out << u"Таблица "_s << name << u": строк "_s << rows;
        if (t.table == Table::ArcRecs)
            io.out << u" (суточных "_s << daily << u", месячных "_s << monthly << u')';
        io.out << u'\n';
        if (shortBlobs > 0)
            io.out << u"  строк с неполной записью: "_s << shortBlobs << u'\n';
        if (broken > 0)
            io.out << u"  записей с неверной контрольной суммой: "_s << broken << u'\n';
        if (doubled > 0)
            io.out << u"  повторов ключа: "_s << doubled << u'\n';
        problems += int(shortBlobs > 0) + int(broken > 0) + int(doubled > 0);
        if (t.index != nullptr) {
            bool indexed = false;
            const QString index = QString::fromLatin1(t.index);
            if (FAILED(db.hasIndex(index, indexed)) || !indexed) {
                io.out << u"  индекса "_s << index << u" нет\n"_s;
                ++problems;
            }
        }
    }
    io.out << (problems == 0 ? u"Итог: база данных исправна\n"_s : u"Итог: замечаний %1\n"_s.arg(problems));
    return problems == 0 ? cliexit::Ok : cliexit::Failed;
}

int copy(ArchiveDatabase& from, const QString& to, CliStreams& io)
{
    ArchiveDatabase target;
    if (FAILED(target.open(to)) || FAILED(target.ensureTables())) {
        MessageBox::error(u"Не удалось открыть базу данных %1: %2"_s.arg(pgurl::withoutPassword(to), target.lastError()));
        return cliexit::Failed;
    }
    const bool same = target.isServer() ? from.isServer() && target.describe() == from.describe()
                                        : !from.isServer() && QFileInfo(target.path()) == QFileInfo(from.path());
    if (same) {
        MessageBox::error(u"База данных копируется сама в себя: "_s + target.describe());
        return cliexit::Failed;
    }
    int failed = 0;
    // One transaction for the whole copy, a savepoint a row: a refused row fails alone.
    ArchiveDatabase::BulkWrite bulk(target);
    for (const TableInfo& t : kTables) {
        qint64 added = 0, kept = 0, errors = 0;
        QString firstError;
        const HRESULT hr = from.forEachRow(t.table, [&](const ArchiveDatabase::RawRow& r) {
            bool inserted = false;
            if (FAILED(target.putRow(t.table, r, inserted))) {
                if (errors++ == 0)
                    firstError = target.lastError();
            } else {
                (inserted ? added : kept) += 1;
            }
            return true;
        });
        io.out << QString::fromLatin1(t.name) << u": добавлено "_s << added << u", уже были "_s << kept;
        if (errors > 0)
            io.out << u", не записано "_s << errors << u" ("_s << firstError << u')';
        io.out << u'\n';
        if (FAILED(hr)) {
            MessageBox::error(u"Ошибка чтения таблицы %1: %2"_s.arg(QString::fromLatin1(t.name), from.lastError()));
            ++failed;
        }
        failed += errors > 0;
    }
    return failed == 0 ? cliexit::Ok : cliexit::Failed;
}

} // namespace

void DbCommand::addOptions(QCommandLineParser& parser) const
{
    parser.addOption(QCommandLineOption(
        u"to"_s, u"copy: the database to copy into, a file path or postgresql://USER@HOST:PORT/DBNAME."_s, u"URL"_s));
}

bool DbCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    const QString action = parser.positionalArguments().value(0);
    if (action != u"check"_s && action != u"copy"_s) {
        *error = u"check or copy expected"_s;
        return false;
    }
    if ((action == u"copy"_s) != parser.isSet(u"to"_s)) {
        *error = action == u"copy"_s ? u"copy needs --to URL"_s : u"--to belongs to copy"_s;
        return false;
    }
    return true;
}

int DbCommand::executeWithDocument(CLorn2App& app, CLorn2Doc&, CliShell&, const QCommandLineParser& parser,
                                   CliStreams& io)
{
    ArchiveDatabase& db = app.ArchiveDatabase;
    if (!db.isOpen()) {
        io.out << u"База данных: "_s << pgurl::withoutPassword(app.databaseTarget()) << u" - нет соединения\n"_s;
        return cliexit::Failed;
    }
    if (parser.positionalArguments().at(0) == u"check"_s)
        return check(db, io);
    return copy(db, parser.value(u"to"_s), io);
}
