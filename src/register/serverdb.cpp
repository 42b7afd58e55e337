#include "register/serverdb.h"

#include <QAtomicInt>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "register/serveruri.h"

QString ServerProblem::describe() const {
    const QString said = detail.trimmed();
    auto with = [&](const QString& text) {
        return said.isEmpty() ? text : text + QStringLiteral(" (") + said + QLatin1Char(')');
    };
    switch (kind) {
        case Kind::None:
            return QString();
        case Kind::BadUri:
            return QStringLiteral("not a server address: %1").arg(said);
        case Kind::NoDriver:
            return QStringLiteral(
                "Qt's PostgreSQL driver is not installed (Debian: libqt6sql6-psql)");
        case Kind::Unreachable:
            return with(QStringLiteral("the server is unreachable"));
        case Kind::PasswordRefused:
            return with(QStringLiteral("the server refused the role or its password"));
        case Kind::NotInitialised:
            return QStringLiteral(
                "the server holds no register yet: its administrator runs `quillon-cli "
                "register server init`");
        case Kind::Newer:
            return QStringLiteral(
                       "the server's register is of a newer version of Quillon (schema %1, this "
                       "one knows %2): nothing was sent")
                .arg(version)
                .arg(kServerSchemaVersion);
        case Kind::NoAccess:
            return QStringLiteral("this role has no grant for any site on the server");
        case Kind::NoGrant:
            return QStringLiteral(
                       "no grant to add records of the site \"%1\"; they stay here, "
                       "not sent")
                .arg(site);
        case Kind::Dropped:
            return with(QStringLiteral("the connection to the server broke off"));
        case Kind::Failed:
            break;
    }
    return with(QStringLiteral("the server failed"));
}

ServerProblem ServerProblemOf(const QSqlError& error) {
    using Kind = ServerProblem::Kind;
    QString detail = error.databaseText().trimmed();
    if (detail.isEmpty()) detail = error.driverText();
    // libpq's words for a connection that has gone, whatever the stage.
    const QString code = error.nativeErrorCode();
    const QString lower = detail.toLower();
    auto says = [&](const char* words) { return lower.contains(QLatin1String(words)); };
    Kind kind = Kind::Failed;
    if (code == QLatin1String("28P01") || code == QLatin1String("28000") ||
        says("password authentication failed") || says("no password supplied") ||
        says("authentication failed") ||
        (says("role") && says("does not exist") && error.type() == QSqlError::ConnectionError))
        kind = Kind::PasswordRefused;
    else if (code.startsWith(QLatin1String("57P")) || code.startsWith(QLatin1String("08")) ||
             says("server closed the connection") || says("terminating connection") ||
             says("no connection to the server") || says("could not send data") ||
             says("could not receive data") || says("connection not open") ||
             says("ssl syscall error"))
        kind = error.type() == QSqlError::ConnectionError ? Kind::Unreachable : Kind::Dropped;
    else if (error.type() == QSqlError::ConnectionError)
        kind = Kind::Unreachable;
    else if (code == QLatin1String("42501") && says("row-level security"))
        kind = Kind::NoGrant;
    else if (code == QLatin1String("42501") && says("schema"))
        kind = Kind::NoAccess;
    ServerProblem p;
    p.kind = kind;
    p.detail = detail;
    return p;
}

ServerDb::ServerDb() {
    static QAtomicInt counter;
    name_ = QStringLiteral("quillon-server-%1").arg(counter.fetchAndAddRelaxed(1));
}

ServerDb::~ServerDb() {
    if (!db_.isValid()) return;
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name_);
}

bool ServerDb::open(const QString& uri, ServerProblem* problem) {
    using Kind = ServerProblem::Kind;
    auto refuse = [&](Kind kind, const QString& detail) {
        if (problem) {
            problem->kind = kind;
            problem->detail = detail;
        }
        return false;
    };
    const ServerAddress a = ParseServerUri(uri);
    if (!a.valid) return refuse(Kind::BadUri, a.error);
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return refuse(Kind::NoDriver, {});
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name_);
    // Qt quotes these four itself; the rest go as options, each value quoted as libpq reads it.
    QStringList options;
    for (auto it = a.keywords.cbegin(); it != a.keywords.cend(); ++it) {
        const QString& k = it.key();
        if (k == QLatin1String("host"))
            db_.setHostName(it.value());
        else if (k == QLatin1String("dbname"))
            db_.setDatabaseName(it.value());
        else if (k == QLatin1String("user"))
            db_.setUserName(it.value());
        else if (k == QLatin1String("password"))
            db_.setPassword(it.value());
        else {
            // Qt turns every ';' of the options into a blank.
            if (it.value().contains(QLatin1Char(';')) || k.contains(QLatin1Char(';')) ||
                k.contains(QLatin1Char(' ')) || k.contains(QLatin1Char('=')))
                return refuse(Kind::BadUri,
                              QStringLiteral("the parameter %1 cannot hold a ';'").arg(k));
            QString v = it.value();
            v.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
            v.replace(QLatin1Char('\''), QLatin1String("\\'"));
            options << k + QStringLiteral("='") + v + QLatin1Char('\'');
        }
    }
    db_.setConnectOptions(options.join(QLatin1Char(';')));
    if (!db_.open()) {
        ServerProblem p = ServerProblemOf(db_.lastError());
        if (p.kind == Kind::Failed || p.kind == Kind::Dropped) p.kind = Kind::Unreachable;
        if (problem) *problem = p;
        return false;
    }
    return true;
}

QString ServerDb::role() {
    QSqlQuery q(db_);
    return q.exec(QStringLiteral("SELECT current_user")) && q.next() ? q.value(0).toString()
                                                                     : QString();
}

bool ServerDb::schemaVersion(int* version, ServerProblem* problem) {
    QSqlQuery q(db_);
    // From the catalogue, which every role may read: whether there is a register, and whether
    // this role may look into it.
    if (!q.exec(QStringLiteral(
            "SELECT EXISTS (SELECT 1 FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace"
            "  WHERE n.nspname = 'quillon' AND c.relname = 'meta'),"
            " EXISTS (SELECT 1 FROM pg_namespace n WHERE n.nspname = 'quillon'"
            "  AND has_schema_privilege(n.oid, 'USAGE'))")) ||
        !q.next()) {
        if (problem) *problem = ServerProblemOf(q.lastError());
        return false;
    }
    if (!q.value(0).toBool()) {
        *version = 0;
        return true;
    }
    if (!q.value(1).toBool()) {
        *version = -1;
        return true;
    }
    QSqlQuery v(db_);
    if (!v.exec(QStringLiteral("SELECT value FROM quillon.meta WHERE key = 'schema_version'"))) {
        if (problem) *problem = ServerProblemOf(v.lastError());
        return false;
    }
    *version = v.next() ? v.value(0).toInt() : 0;
    return true;
}

QString ServerDb::serverId() {
    QSqlQuery q(db_);
    return q.exec(QStringLiteral("SELECT value FROM quillon.meta WHERE key = 'server_id'")) &&
                   q.next()
               ? q.value(0).toString()
               : QString();
}
