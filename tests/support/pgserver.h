#pragma once
// A throwaway PostgreSQL cluster for the shared register's tests and benchmarks: initdb into a
// temporary folder, a Unix socket in that folder and no TCP port, run as a user that is not
// root (`postgres` when the tests run as root), stopped and removed at the end. The superuser
// is `postgres`; roles made with a password log in by password, which tests give through a
// PGPASSFILE of their own.

#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QVariant>

namespace pgtest {

class PgServer {
  public:
    // In /tmp where there is one: every folder above the cluster must be open to the server's
    // user, and a socket's path is limited to about a hundred characters.
    PgServer()
        : dir_((QFileInfo(QStringLiteral("/tmp")).isDir() ? QStringLiteral("/tmp")
                                                          : QDir::tempPath()) +
               QStringLiteral("/quillon-pg-XXXXXX")) {
        const QString bin = QStringLiteral("/usr/lib/postgresql/15/bin");
        bin_ = QFile::exists(bin + QStringLiteral("/initdb")) ? bin : QString();
        if (bin_.isEmpty()) {
            const QString initdb = QStandardPaths::findExecutable(QStringLiteral("initdb"));
            if (!initdb.isEmpty()) bin_ = QFileInfo(initdb).absolutePath();
        }
        if (bin_.isEmpty() || !dir_.isValid()) {
            why_ = QStringLiteral("PostgreSQL's initdb is not installed");
            return;
        }
        if (geteuid() == 0) {
            const passwd* pw = getpwnam("postgres");
            if (!pw ||
                chown(QFile::encodeName(dir_.path()).constData(), pw->pw_uid, pw->pw_gid) != 0) {
                why_ = QStringLiteral("no user postgres to run the server as");
                return;
            }
        }
        QFile hba(dir_.filePath(QStringLiteral("hba")));
        hba.open(QIODevice::WriteOnly);
        hba.write("local all postgres trust\nlocal all all scram-sha-256\n");
        hba.close();
        hba.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                           QFileDevice::ReadOther | QFileDevice::WriteOwner);
        if (!run(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), data(), QStringLiteral("-U"), QStringLiteral("postgres"),
                  QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C"),
                  QStringLiteral("--auth=trust"), QStringLiteral("--no-sync")}))
            return;
        QFile::remove(data() + QStringLiteral("/pg_hba.conf"));
        QFile conf(data() + QStringLiteral("/postgresql.conf"));
        conf.open(QIODevice::Append);
        conf.write(QStringLiteral("listen_addresses = ''\nunix_socket_directories = '%1'\n"
                                  "hba_file = '%2'\nfsync = off\nmax_connections = 60\n")
                       .arg(dir_.path(), dir_.filePath(QStringLiteral("hba")))
                       .toUtf8());
        conf.close();
        start();
    }
    ~PgServer() {
        if (started_) stop();
    }

    // Empty when the server runs; else why not.
    const QString& why() const { return why_; }
    QString socketDir() const { return dir_.path(); }
    QString uri(const QString& user, const QString& db = QStringLiteral("postgres")) const {
        return QStringLiteral("postgresql:///%1?host=%2&user=%3").arg(db, dir_.path(), user);
    }

    bool start() {
        started_ =
            run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), data(), QStringLiteral("-l"),
                                           dir_.filePath(QStringLiteral("log")),
                                           QStringLiteral("-w"), QStringLiteral("start")});
        return started_;
    }
    bool stop() {
        started_ = false;
        return run(QStringLiteral("pg_ctl"),
                   {QStringLiteral("-D"), data(), QStringLiteral("-m"), QStringLiteral("immediate"),
                    QStringLiteral("-w"), QStringLiteral("stop")});
    }

    // Runs statements as the superuser; false with a warning when one fails.
    bool sql(const QStringList& statements, const QString& db = QStringLiteral("postgres")) {
        bool ok = true;
        {
            QSqlDatabase c =
                QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("pgtest"));
            c.setHostName(dir_.path());
            c.setDatabaseName(db);
            c.setUserName(QStringLiteral("postgres"));
            ok = c.open();
            if (!ok) qWarning("pgtest: %s", qPrintable(c.lastError().text()));
            QSqlQuery q(c);
            for (const QString& s : statements) {
                if (!ok) break;
                ok = q.exec(s);
                if (!ok)
                    qWarning("pgtest: %s: %s", qPrintable(s), qPrintable(q.lastError().text()));
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("pgtest"));
        return ok;
    }
    // The first value of a query run as the superuser.
    QVariant value(const QString& query, const QString& db = QStringLiteral("postgres")) {
        QVariant v;
        {
            QSqlDatabase c =
                QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("pgtest"));
            c.setHostName(dir_.path());
            c.setDatabaseName(db);
            c.setUserName(QStringLiteral("postgres"));
            QSqlQuery q(c);
            if (c.open() && q.exec(query) && q.next()) v = q.value(0);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("pgtest"));
        return v;
    }
    // A login role with this password, written to the PGPASSFILE the tests use.
    bool addRole(const QString& role, const QString& password) {
        QFile pass(passFile());
        if (!pass.open(QIODevice::Append)) return false;
        pass.write(QStringLiteral("*:*:*:%1:%2\n").arg(role, password).toUtf8());
        pass.close();
        pass.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        qputenv("PGPASSFILE", QFile::encodeName(passFile()));
        return sql({QStringLiteral("CREATE ROLE \"%1\" LOGIN PASSWORD '%2'").arg(role, password)});
    }
    QString passFile() const { return dir_.filePath(QStringLiteral("pgpass")); }
    // Ends every backend of `role`, as a crash of the server's process would.
    int killBackends(const QString& role) {
        return value(QStringLiteral("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity"
                                    " WHERE usename = '%1'")
                         .arg(role))
            .toInt();
    }

  private:
    QString data() const { return dir_.filePath(QStringLiteral("data")); }
    bool run(const QString& tool, QStringList args) {
        QProcess p;
        QString program = bin_ + QLatin1Char('/') + tool;
        if (geteuid() == 0) {
            args.prepend(program);
            args =
                QStringList{QStringLiteral("--reuid=postgres"), QStringLiteral("--regid=postgres"),
                            QStringLiteral("--init-groups"), QStringLiteral("--")} +
                args;
            program = QStringLiteral("setpriv");
        }
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0) {
            why_ = QStringLiteral("%1 failed: %2").arg(tool, QString::fromLocal8Bit(p.readAll()));
            QFile log(dir_.filePath(QStringLiteral("log")));
            if (log.open(QIODevice::ReadOnly))
                why_ += QString::fromLocal8Bit(log.readAll().right(2000));
            return false;
        }
        return true;
    }

    QTemporaryDir dir_;
    QString bin_;
    QString why_;
    bool started_ = false;
};

}  // namespace pgtest
