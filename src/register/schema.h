#pragma once
// The register's schema as numbered migrations: migration n brings a file of version n-1 to
// version n. A new version adds one migration at the end; released ones never change.

#include <QSqlDatabase>
#include <QStringList>

struct RegisterProblem;

// The statements of migration `version` (1..kRegisterSchemaVersion).
QStringList RegisterMigration(int version);

// Brings the open database to the current version inside one write transaction; a file that
// is already there is left untouched.
bool MigrateRegister(QSqlDatabase& db, const QString& path, RegisterProblem* problem);
