#pragma once
// Files entries through one open connection: the module's row brought up to date (a module per
// type and serial number), the event of its history and a live test's run with its cards.
// Statements are prepared once; every value is bound, none is pasted into SQL. The caller
// holds the transaction.

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include "register/registerentry.h"

class RegisterStore {
  public:
    explicit RegisterStore(QSqlDatabase& db);
    // False with the database's error; what was written of the entry is the caller's to roll
    // back.
    bool write(const RegisterEntry& entry, QSqlError* error);

  private:
    bool prepare(QSqlError* error);

    QSqlDatabase& db_;
    bool prepared_ = false;
    QSqlQuery module_;
    QSqlQuery related_;
    QSqlQuery event_;
    QSqlQuery run_;
    QSqlQuery card_;
    QSqlQuery lastTest_;
};

// The rules by which a module's row takes a new one for the same module (an entry, or another
// register's row in a merge): the SET list of an upsert whose new row is `excluded`.
extern const char* const kModuleUpdate;

// A time as the register writes it: milliseconds since 1970 UTC, 0 for none; and back.
qint64 RegisterTime(const QDateTime& time);
QDateTime TimeOfRegister(qint64 ms);
// A time as text, exports and JSON give it: "2024-05-01T08:15:00.000Z"; empty for none.
QString IsoTime(const QDateTime& time);
