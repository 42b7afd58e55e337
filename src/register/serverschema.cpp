#include "register/serverschema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>
#include <QVariant>

namespace {

// Version 1: the grants, the events (each keyed by its unique id and numbered by the server in
// the order it took them), their test runs and cards, and the policies that keep each role to
// its granted sites. The member role carries the privileges; a grant makes a role a member.
const QStringList kServerVersion1 = {
    QStringLiteral("CREATE SCHEMA IF NOT EXISTS quillon"),
    QStringLiteral("DO $$ BEGIN"
                   " IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'quillon_member') THEN"
                   "  CREATE ROLE quillon_member NOLOGIN;"
                   " END IF; END $$"),
    QStringLiteral("CREATE TABLE quillon.meta (key text PRIMARY KEY, value text NOT NULL)"),
    QStringLiteral("CREATE TABLE quillon.site_grant ("
                   " role name NOT NULL, site text NOT NULL, writable boolean NOT NULL,"
                   " PRIMARY KEY (role, site))"),
    QStringLiteral("CREATE TABLE quillon.event ("
                   " seq bigint GENERATED ALWAYS AS IDENTITY UNIQUE,"
                   " uuid uuid PRIMARY KEY,"
                   " site text NOT NULL CHECK (site <> ''),"
                   " type text NOT NULL,"
                   " serial text NOT NULL,"
                   " time bigint NOT NULL,"
                   " source text NOT NULL,"
                   " kind text NOT NULL,"
                   " operation text NOT NULL DEFAULT '',"
                   " port text NOT NULL DEFAULT '',"
                   " module_id integer,"
                   " line text NOT NULL DEFAULT '',"
                   " version text NOT NULL DEFAULT '',"
                   " ch2_serial text NOT NULL DEFAULT '',"
                   " settings text NOT NULL DEFAULT '{}',"
                   " before text, wanted text, after text,"
                   " detail text NOT NULL DEFAULT '',"
                   " outcome_row integer,"
                   " outcome text NOT NULL DEFAULT '',"
                   " ok boolean, verified boolean,"
                   " plan_name text, plan_hash text,"
                   " related_type text, related_serial text,"
                   " recorded_by name NOT NULL DEFAULT current_user,"
                   " received timestamptz NOT NULL DEFAULT now())"),
    QStringLiteral("CREATE INDEX event_site_seq ON quillon.event (site, seq)"),
    QStringLiteral("CREATE TABLE quillon.test_run ("
                   " event uuid PRIMARY KEY REFERENCES quillon.event (uuid),"
                   " test text NOT NULL, started bigint NOT NULL, ended bigint NOT NULL,"
                   " ending text NOT NULL, cycles integer NOT NULL, failures integer NOT NULL,"
                   " verdict text NOT NULL, input_changes text, verdicts text, follows text)"),
    QStringLiteral("CREATE TABLE quillon.card_read ("
                   " event uuid NOT NULL REFERENCES quillon.test_run (event),"
                   " seq integer NOT NULL, ms bigint NOT NULL, channel integer NOT NULL,"
                   " key boolean NOT NULL, decimal text NOT NULL, hex text NOT NULL,"
                   " keys text NOT NULL DEFAULT '', PRIMARY KEY (event, seq))"),
    // The modules as the events make them, by the rule every laptop follows: each field from
    // the newest event that tells it (by time, then event id). Seen through the reader's own
    // grants.
    QStringLiteral(
        "CREATE VIEW quillon.module WITH (security_invoker = true) AS SELECT e.type, e.serial,"
        " min(e.time) AS first_seen, max(e.time) AS last_seen,"
        " (array_agg(e.site ORDER BY e.time DESC, e.uuid DESC))[1] AS site,"
        " (array_agg(e.port ORDER BY e.time DESC, e.uuid DESC) FILTER (WHERE e.port <> ''))[1]"
        "  AS port,"
        " (array_agg(e.module_id ORDER BY e.time DESC, e.uuid DESC)"
        "  FILTER (WHERE e.module_id IS NOT NULL))[1] AS module_id,"
        " (array_agg(e.line ORDER BY e.time DESC, e.uuid DESC) FILTER (WHERE e.line <> ''))[1]"
        "  AS line,"
        " (array_agg(e.version ORDER BY e.time DESC, e.uuid DESC)"
        "  FILTER (WHERE e.version <> ''))[1] AS version,"
        " (array_agg(e.ch2_serial ORDER BY e.time DESC, e.uuid DESC)"
        "  FILTER (WHERE e.ch2_serial <> ''))[1] AS ch2_serial,"
        " (array_agg(t.verdict ORDER BY t.ended DESC, e.uuid DESC)"
        "  FILTER (WHERE t.verdict IS NOT NULL))[1] AS last_test"
        " FROM quillon.event e LEFT JOIN quillon.test_run t ON t.event = e.uuid"
        " GROUP BY e.type, e.serial"),
    QStringLiteral("ALTER TABLE quillon.site_grant ENABLE ROW LEVEL SECURITY"),
    QStringLiteral("ALTER TABLE quillon.event ENABLE ROW LEVEL SECURITY"),
    QStringLiteral("ALTER TABLE quillon.test_run ENABLE ROW LEVEL SECURITY"),
    QStringLiteral("ALTER TABLE quillon.card_read ENABLE ROW LEVEL SECURITY"),
    QStringLiteral("CREATE POLICY own_grants ON quillon.site_grant FOR SELECT TO quillon_member"
                   " USING (role = current_user)"),
    QStringLiteral("CREATE POLICY event_read ON quillon.event FOR SELECT TO quillon_member"
                   " USING (site IN (SELECT g.site FROM quillon.site_grant g"
                   "  WHERE g.role = current_user))"),
    // Who recorded an event is the server's to say: a role adds under its own name only.
    QStringLiteral("CREATE POLICY event_add ON quillon.event FOR INSERT TO quillon_member"
                   " WITH CHECK (recorded_by = current_user AND site IN (SELECT g.site"
                   "  FROM quillon.site_grant g WHERE g.role = current_user AND g.writable))"),
    QStringLiteral("CREATE POLICY run_read ON quillon.test_run FOR SELECT TO quillon_member"
                   " USING (EXISTS (SELECT 1 FROM quillon.event e WHERE e.uuid = test_run.event))"),
    QStringLiteral("CREATE POLICY run_add ON quillon.test_run FOR INSERT TO quillon_member"
                   " WITH CHECK (EXISTS (SELECT 1 FROM quillon.event e"
                   "  JOIN quillon.site_grant g ON g.site = e.site AND g.role = current_user"
                   "  AND g.writable WHERE e.uuid = test_run.event))"),
    QStringLiteral(
        "CREATE POLICY card_see ON quillon.card_read FOR SELECT TO quillon_member"
        " USING (EXISTS (SELECT 1 FROM quillon.event e WHERE e.uuid = card_read.event))"),
    QStringLiteral("CREATE POLICY card_add ON quillon.card_read FOR INSERT TO quillon_member"
                   " WITH CHECK (EXISTS (SELECT 1 FROM quillon.event e"
                   "  JOIN quillon.site_grant g ON g.site = e.site AND g.role = current_user"
                   "  AND g.writable WHERE e.uuid = card_read.event))"),
    QStringLiteral("GRANT USAGE ON SCHEMA quillon TO quillon_member"),
    QStringLiteral("GRANT SELECT ON quillon.meta, quillon.site_grant, quillon.event,"
                   " quillon.test_run, quillon.card_read, quillon.module TO quillon_member"),
    QStringLiteral("GRANT INSERT ON quillon.event, quillon.test_run, quillon.card_read"
                   " TO quillon_member"),
    // The administrator's grants, with the role's name quoted by the server.
    QStringLiteral(
        "CREATE FUNCTION quillon.grant_site(who text, at_site text, can_write boolean)"
        " RETURNS void LANGUAGE plpgsql AS $$ BEGIN"
        " IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = who) THEN"
        "  RAISE EXCEPTION 'there is no role %', who USING ERRCODE = '42704'; END IF;"
        " IF at_site = '' THEN RAISE EXCEPTION 'a grant names a site' USING ERRCODE = '22023';"
        " END IF;"
        " IF NOT pg_has_role(who, 'quillon_member', 'MEMBER') THEN"
        "  EXECUTE format('GRANT quillon_member TO %I', who); END IF;"
        " INSERT INTO quillon.site_grant VALUES (who, at_site, can_write)"
        "  ON CONFLICT (role, site) DO UPDATE SET writable = excluded.writable;"
        " END $$"),
    QStringLiteral("REVOKE ALL ON FUNCTION quillon.grant_site(text, text, boolean) FROM PUBLIC"),
};

bool Fail(QSqlDatabase& db, const QSqlQuery& q, ServerProblem* problem) {
    if (problem) *problem = ServerProblemOf(q.lastError());
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    return false;
}

bool Refuse(const QSqlQuery& q, ServerProblem* problem) {
    if (problem) *problem = ServerProblemOf(q.lastError());
    return false;
}

}  // namespace

QStringList ServerMigration(int version) {
    return version == 1 ? kServerVersion1 : QStringList();
}

bool InitServer(const QString& uri, int* from, ServerProblem* problem) {
    ServerDb server;
    if (!server.open(uri, problem)) return false;
    QSqlDatabase& db = server.db();
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("BEGIN"))) return Fail(db, q, problem);
    // Two administrators at once: the second waits, then finds the schema made.
    if (!q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(1364346183)")))
        return Fail(db, q, problem);
    int version = 0;
    if (!server.schemaVersion(&version, problem)) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    if (from) *from = version;
    if (version < 0 || version > kServerSchemaVersion) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        if (problem) {
            problem->kind =
                version < 0 ? ServerProblem::Kind::NoAccess : ServerProblem::Kind::Newer;
            problem->version = version;
        }
        return false;
    }
    for (int v = version + 1; v <= kServerSchemaVersion; ++v)
        for (const QString& statement : ServerMigration(v))
            if (!q.exec(statement)) return Fail(db, q, problem);
    q.prepare(QStringLiteral(
        "INSERT INTO quillon.meta VALUES ('schema_version', :v), ('server_id', :id)"
        " ON CONFLICT (key) DO UPDATE SET value = CASE WHEN excluded.key = 'server_id'"
        " THEN quillon.meta.value ELSE excluded.value END"));
    q.bindValue(QStringLiteral(":v"), QString::number(kServerSchemaVersion));
    q.bindValue(QStringLiteral(":id"), QUuid::createUuid().toString(QUuid::WithoutBraces));
    if (!q.exec()) return Fail(db, q, problem);
    if (!q.exec(QStringLiteral("COMMIT"))) return Fail(db, q, problem);
    return true;
}

bool GrantSite(const QString& uri, const QString& role, const QString& site, bool readOnly,
               ServerProblem* problem) {
    ServerDb server;
    if (!server.open(uri, problem)) return false;
    QSqlQuery q(server.db());
    q.prepare(QStringLiteral("SELECT quillon.grant_site(:role, :site, :write)"));
    q.bindValue(QStringLiteral(":role"), role);
    q.bindValue(QStringLiteral(":site"), site);
    q.bindValue(QStringLiteral(":write"), !readOnly);
    if (!q.exec()) return Refuse(q, problem);
    return true;
}

bool RevokeSite(const QString& uri, const QString& role, const QString& site, bool* removed,
                ServerProblem* problem) {
    ServerDb server;
    if (!server.open(uri, problem)) return false;
    QSqlQuery q(server.db());
    q.prepare(QStringLiteral("DELETE FROM quillon.site_grant WHERE role = :role AND site = :site"));
    q.bindValue(QStringLiteral(":role"), role);
    q.bindValue(QStringLiteral(":site"), site);
    if (!q.exec()) return Refuse(q, problem);
    if (removed) *removed = q.numRowsAffected() > 0;
    return true;
}
