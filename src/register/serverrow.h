#pragma once
// Events as they travel to and from the shared register's server. Outgoing, a batch of the
// local register's events is one JSON document (its events, test runs and cards), bound as one
// parameter of the server's insert. Incoming, each row the server gives becomes an entry of
// the local register, or is refused when it cannot be one; nothing a server sends can make
// more of it than a refusal.

#include <QSqlDatabase>
#include <QVariantList>
#include <optional>

#include "register/registerentry.h"

// The columns of an event fetched from the server, in the order of kServerRowColumns.
enum ServerColumn {
    kRowSeq,
    kRowUuid,
    kRowSite,
    kRowType,
    kRowSerial,
    kRowTime,
    kRowSource,
    kRowKind,
    kRowOperation,
    kRowPort,
    kRowModuleId,
    kRowLine,
    kRowVersion,
    kRowCh2Serial,
    kRowSettings,
    kRowBefore,
    kRowWanted,
    kRowAfter,
    kRowDetail,
    kRowOutcomeRow,
    kRowOutcome,
    kRowOk,
    kRowVerified,
    kRowPlanName,
    kRowPlanHash,
    kRowRelatedType,
    kRowRelatedSerial,
    kRowRecordedBy,
    kRowTest,   // the test run as a JSON object, or null
    kRowCards,  // its cards as a JSON array, or null
    kServerColumns
};

// The select list of the server's event `e` in that order.
extern const char* const kServerRowColumns;

// The entry a fetched row stands for; nullopt with the reason when it cannot be one (no valid
// unique id, no module type, a test run that is not one).
std::optional<RegisterEntry> EntryOfServerRow(const QVariantList& row, QString* why);

// One batch of the local register's events to send.
struct PushBatch {
    QList<qint64> keys;  // the local events' keys, to mark as sent
    QByteArray events;   // JSON arrays in the columns of the server's tables
    QByteArray runs;
    QByteArray cards;
};

// Up to `limit` events of `site` not yet sent, after the local key `after`; false with the
// database's error.
bool ReadPushBatch(QSqlDatabase& db, const QString& site, qint64 after, int limit, PushBatch* batch,
                   QSqlError* error);
