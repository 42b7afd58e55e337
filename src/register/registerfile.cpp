#include "register/registerfile.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

#include "register/schema.h"

namespace {

// The primary result codes of SQLite that name a cause of their own.
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteFull = 13;
constexpr int kSqliteNotADb = 26;

// Write permission for nobody means "leave it alone", even to a user whom the system would let
// write (root).
bool Writable(const QFileInfo& info) {
    const auto anyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return info.isWritable() && (info.permissions() & anyWrite);
}

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// One value of a pragma, or -1 when the statement fails.
int PragmaValue(QSqlDatabase& db, const QString& name, QSqlError* error = nullptr) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA ") + name) || !q.next()) {
        if (error) *error = q.lastError();
        return -1;
    }
    return q.value(0).toInt();
}

}  // namespace

QString RegisterProblem::describe() const {
    const QString file = Native(path);
    switch (kind) {
        case Kind::None:
            return QString();
        case Kind::NotDatabase:
            return QStringLiteral("%1 is not a register database; it is left as it is").arg(file);
        case Kind::NotRegister:
            return QStringLiteral(
                       "%1 is a database of another program, not a register; it is "
                       "left as it is")
                .arg(file);
        case Kind::Newer:
            return QStringLiteral("%1 is a register of a newer version of Quillon").arg(file);
        case Kind::ReadOnly:
            return QStringLiteral("%1 is read-only").arg(file);
        case Kind::NoFolder:
            return QStringLiteral("the folder of %1 is missing and cannot be made").arg(file);
        case Kind::FolderNotWritable:
            return QStringLiteral("the folder of %1 cannot be written").arg(file);
        case Kind::DiskFull:
            return QStringLiteral("the disk that holds %1 is full").arg(file);
        case Kind::Locked:
            return QStringLiteral("%1 stays locked by another program").arg(file);
        case Kind::SameFile:
            return QStringLiteral("%1 is this register itself").arg(file);
        case Kind::Failed:
            break;
    }
    return detail.isEmpty() ? QStringLiteral("%1 cannot be used").arg(file)
                            : QStringLiteral("%1: %2").arg(file, detail);
}

QString DefaultRegisterPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/VARNO/register.sqlite");
}

QString ChooseRegisterPath(const QString& optionPath, bool noRegister) {
    if (noRegister) return QString();
    if (!optionPath.isEmpty()) return optionPath;
    const QString env = qEnvironmentVariable("QUILLON_REGISTER");
    if (!env.isEmpty()) return env;
    return DefaultRegisterPath();
}

bool LooksLikeSqlite(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    return f.read(16) == QByteArray("SQLite format 3\0", 16);
}

RegisterProblem ProblemOf(const QString& path, const QSqlError& error) {
    using Kind = RegisterProblem::Kind;
    const int code = error.nativeErrorCode().toInt() & 0xFF;
    Kind kind = Kind::Failed;
    if (code == kSqliteFull) kind = Kind::DiskFull;
    if (code == kSqliteBusy || code == kSqliteLocked) kind = Kind::Locked;
    if (code == kSqliteReadOnly) kind = Kind::ReadOnly;
    if (code == kSqliteNotADb) kind = Kind::NotDatabase;
    QString detail = error.databaseText();
    if (detail.isEmpty()) detail = error.driverText();
    return {kind, path, detail};
}

RegisterDb::RegisterDb() {
    static QAtomicInt counter;
    name_ = QStringLiteral("quillon-register-%1").arg(counter.fetchAndAddRelaxed(1));
}

RegisterDb::~RegisterDb() {
    if (!db_.isValid()) return;
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name_);
}

bool RegisterDb::open(const QString& path, Mode mode, RegisterProblem* problem) {
    using Kind = RegisterProblem::Kind;
    path_ = path;
    auto refuse = [&](Kind kind, const QString& detail = QString()) {
        if (problem) *problem = {kind, path, detail};
        db_.close();
        return false;
    };
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return refuse(Kind::Failed, QStringLiteral("no SQLite driver for Qt (libqt6sql6-sqlite)"));
    if (mode == Mode::Read && !info.exists()) {
        // Nothing recorded yet, where the file could be made; otherwise that is the problem.
        QFileInfo up(folder.absoluteFilePath());
        while (!up.exists() && !up.isRoot() && up.absolutePath() != up.absoluteFilePath())
            up = QFileInfo(up.absolutePath());
        if (!up.isDir()) return refuse(Kind::NoFolder);
        if (!Writable(up) || !up.isExecutable()) return refuse(Kind::FolderNotWritable);
        return true;
    }
    if (mode == Mode::Inspect && !info.isFile())
        return refuse(Kind::Failed, QStringLiteral("no such file"));
    // A file that is not a database is never touched, not even opened by the driver.
    if (info.exists() && (!info.isFile() || (info.size() > 0 && !LooksLikeSqlite(path))))
        return refuse(Kind::NotDatabase);
    if (mode == Mode::Write) {
        if (!folder.isDir() && !QDir().mkpath(folder.absoluteFilePath()))
            return refuse(Kind::NoFolder);
        // The journal beside the file is written as well as the file.
        if (!Writable(QFileInfo(folder.absoluteFilePath()))) return refuse(Kind::FolderNotWritable);
        if (info.exists() && !Writable(info)) return refuse(Kind::ReadOnly);
    }
    // A reader may look into a register it cannot write.
    const bool readOnly =
        mode == Mode::Inspect || (mode == Mode::Read && (!Writable(info) || !Writable(folder)));

    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    if (!db_.isValid())
        return refuse(Kind::Failed, QStringLiteral("no SQLite driver for Qt (libqt6sql6-sqlite)"));
    db_.setDatabaseName(path);
    db_.setConnectOptions(readOnly
                              ? QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000;QSQLITE_OPEN_READONLY")
                              : QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db_.open()) {
        const RegisterProblem p = ProblemOf(path, db_.lastError());
        return refuse(p.kind, p.detail);
    }

    QSqlError error;
    const int application = PragmaValue(db_, QStringLiteral("application_id"), &error);
    if (application < 0) {
        const RegisterProblem p = ProblemOf(path, error);
        return refuse(p.kind == Kind::Failed ? Kind::NotDatabase : p.kind, p.detail);
    }
    if (application != kRegisterApplicationId) {
        // An SQLite file of nothing yet becomes a register; one with tables of its own is not.
        // Its mark and its tables are read again in one statement, at one moment: another
        // program may have made the register since the mark was read.
        QSqlQuery q(db_);
        if (application != 0 || mode == Mode::Inspect ||
            !q.exec(QStringLiteral("SELECT (SELECT application_id FROM pragma_application_id),"
                                   " (SELECT count(*) FROM sqlite_master)")) ||
            !q.next() || (q.value(0).toInt() != kRegisterApplicationId && q.value(1).toInt() != 0))
            return refuse(Kind::NotRegister);
    }
    if (PragmaValue(db_, QStringLiteral("user_version")) > kRegisterSchemaVersion)
        return refuse(Kind::Newer);

    QSqlQuery q(db_);
    q.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    if (!readOnly) {
        // Committed events survive a crash of the program; the journal is synced at checkpoints.
        if (!q.exec(QStringLiteral("PRAGMA journal_mode = WAL"))) {
            const RegisterProblem p = ProblemOf(path, q.lastError());
            return refuse(p.kind, p.detail);
        }
        q.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
    }
    if (PragmaValue(db_, QStringLiteral("user_version")) < kRegisterSchemaVersion &&
        mode != Mode::Inspect) {
        if (readOnly) return refuse(Kind::ReadOnly);
        RegisterProblem p;
        if (!MigrateRegister(db_, path, &p)) return refuse(p.kind, p.detail);
    }
    return true;
}
