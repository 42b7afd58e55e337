#pragma once
// Helpers of the site register's tests: an entry of a module, a file's bytes, an SQL text run
// into a new file, a pragma's value, how many events a register holds, and CSV read back.

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include "register/registerreader.h"
#include "support/parsecsv.h"

namespace registertest {

inline RegisterEntry Entry(const QString& serial, const QString& site = QString(),
                           const QDateTime& time = QDateTime::currentDateTimeUtc()) {
    RegisterEntry e;
    e.uuid = QUuid::createUuid();
    e.time = time;
    e.source = QStringLiteral("cli");
    e.kind = QStringLiteral("read");
    e.operation = QStringLiteral("Get setting data");
    e.site = site;
    e.module.type = QStringLiteral("RQ-3016");
    e.module.serial = serial;
    e.module.port = QStringLiteral("COM1");
    e.module.id = 1;
    e.module.line = QStringLiteral("19200,e,8,1");
    e.outcome = QStringLiteral("Module find ok.");
    e.ok = true;
    return e;
}

inline QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs the statements of an SQL text (one per line ending in ";") into a new file.
inline bool Load(const QString& path, const QString& sql) {
    bool ok = true;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("load"));
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery q(db);
        QString statement;
        for (const QString& line : sql.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("--"))) continue;
            statement += line + QLatin1Char('\n');
            if (!line.endsWith(QLatin1Char(';'))) continue;
            if (!q.exec(statement)) {
                qWarning("%s: %s", qPrintable(statement), qPrintable(q.lastError().text()));
                ok = false;
            }
            statement.clear();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("load"));
    return ok;
}

// One value of a pragma, through a connection of its own.
inline QString Pragma(const QString& path, const char* name) {
    QString value;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("pragma"));
        db.setDatabaseName(path);
        QSqlQuery q(db);
        if (db.open() && q.exec(QStringLiteral("PRAGMA ") + QLatin1String(name)) && q.next())
            value = q.value(0).toString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("pragma"));
    return value;
}

inline qint64 Events(const QString& path) {
    RegisterReader r;
    return r.open(path) ? r.count("event") : -1;
}

}  // namespace registertest
