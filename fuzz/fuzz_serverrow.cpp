// Rows fetched from the team's server: whatever values a server sends in the columns of an
// event (any text, number, JSON or none) is either refused or becomes an entry that the local
// register stores, and reads back under its unique id. The input is the row's columns
// separated by 0x1F; a column that begins with 0xFF is null.
#include <QCoreApplication>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdint>

#include "check.h"
#include "register/registerfile.h"
#include "register/registerreader.h"
#include "register/registerstore.h"
#include "register/serverrow.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int argc = 1;
    static char name[] = "fuzz_serverrow";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static QTemporaryDir dir;
    // Kept to the end of the process: Qt's list of connections may be gone before a static
    // destructor would run.
    static RegisterDb& db = *new RegisterDb;
    static bool opened =
        db.open(dir.filePath(QStringLiteral("fuzz.sqlite")), RegisterDb::Mode::Write, nullptr);
    Check(opened, "a register to store into");

    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QVariantList row;
    for (const QByteArray& column : input.split('\x1f')) {
        if (row.size() == kServerColumns) break;
        if (column.startsWith('\xff'))
            row << QVariant(QMetaType(QMetaType::QString));
        else
            row << QString::fromUtf8(column);
    }
    while (row.size() < kServerColumns) row << QVariant(QMetaType(QMetaType::QString));

    QString why;
    const std::optional<RegisterEntry> e = EntryOfServerRow(row, &why);
    if (!e) {
        Check(!why.isEmpty(), "a refusal says why");
        return 0;
    }
    Check(!e->uuid.isNull() && !e->module.type.isEmpty(), "an entry has its id and type");
    QSqlQuery q(db.db());
    q.exec(QStringLiteral("BEGIN"));
    RegisterStore store(db.db());
    QSqlError error;
    Check(store.write(*e, &error), "a row taken is stored");
    QSqlQuery back(db.db());
    back.prepare(QStringLiteral("SELECT sent, recorded_by FROM event WHERE uuid = ?"));
    back.addBindValue(e->uuid.toRfc4122());
    Check(back.exec() && back.next(), "stored under its id");
    Check(back.value(0).toInt() == 1, "filed as sent");
    Check(back.value(1).toString() == e->recordedBy, "with its recorder");
    back.finish();
    q.exec(QStringLiteral("ROLLBACK"));
    return 0;
}
