#pragma once
// The shared register on a PostgreSQL server: its schema (created and upgraded by whoever
// administers the server) and who may read or add the records of which site. Who sees what is
// the server's to enforce: row-level security by site on every table, through the grants that
// the administering role gives; technicians read and add, and nobody but the tables' owner
// changes or deletes an event.

#include <QString>

#include "register/serverdb.h"

// The statements of server migration `version` (1..kServerSchemaVersion).
QStringList ServerMigration(int version);

// Creates or upgrades the server's register in one transaction. `from` is the version found
// (0: none). A newer server schema is refused and left alone.
bool InitServer(const QString& uri, int* from, ServerProblem* problem);

// Lets `role` (an existing role of the server) read the site's records, and add to them unless
// `readOnly`; a second grant for the same site replaces the first.
bool GrantSite(const QString& uri, const QString& role, const QString& site, bool readOnly,
               ServerProblem* problem);
// Takes the grant back; `removed` says whether there was one.
bool RevokeSite(const QString& uri, const QString& role, const QString& site, bool* removed,
                ServerProblem* problem);
