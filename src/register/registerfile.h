#pragma once
// The site register's file: where it lives, why it may be off, and a connection of its own to
// it with the schema brought up to date. A connection belongs to the thread that opened it.

#include <QSqlDatabase>
#include <QString>

// Why the register is off, or why a file cannot be opened or merged as one.
struct RegisterProblem {
    enum class Kind {
        None,
        NotDatabase,        // the file is not an SQLite database: left as it is
        NotRegister,        // an SQLite database of another program
        Newer,              // from a newer version of Quillon
        ReadOnly,           // the file cannot be written
        NoFolder,           // its folder is missing and cannot be made
        FolderNotWritable,  // its folder cannot be written (the journal lives there)
        DiskFull,
        Locked,    // another program kept it locked for longer than the writer waits
        SameFile,  // a merge of the register into itself
        Failed,    // anything else the database reports
    };
    Kind kind = Kind::None;
    QString path;
    QString detail;  // the database's own words, where it gave any

    explicit operator bool() const { return kind != Kind::None; }
    // One English sentence, as the command line prints it.
    QString describe() const;
};

// The schema this build writes; a file of a higher version is left alone.
constexpr int kRegisterSchemaVersion = 3;
// The file's application id ("QREG"), which tells a register from other SQLite files.
constexpr int kRegisterApplicationId = 0x51524547;

// $XDG_DATA_HOME/VARNO/register.sqlite (~/.local/share/...); on Windows the user's
// application-data folder.
QString DefaultRegisterPath();

// Which register a program uses: `--no-register` turns it off, `--register FILE` names it,
// else QUILLON_REGISTER, else the default path. Off is an empty path.
QString ChooseRegisterPath(const QString& optionPath, bool noRegister);

// Bytes 0..15 of every SQLite database.
bool LooksLikeSqlite(const QString& path);

class RegisterDb {
  public:
    enum class Mode {
        Write,  // made when missing, brought up to the current schema
        Read,   // an existing file only; nothing is made, an older schema is brought up
        // An existing register only, read-only and left as it is whatever its version (below
        // this build's): another machine's file that is merged in.
        Inspect,
    };
    RegisterDb();
    ~RegisterDb();
    RegisterDb(const RegisterDb&) = delete;
    RegisterDb& operator=(const RegisterDb&) = delete;

    // False with the problem when the file cannot serve. In Read mode a file that does not
    // exist is no problem: isOpen() stays false and every query finds nothing.
    bool open(const QString& path, Mode mode, RegisterProblem* problem);
    bool isOpen() const { return db_.isOpen(); }
    QSqlDatabase& db() { return db_; }
    const QString& path() const { return path_; }

  private:
    QString name_;
    QString path_;
    QSqlDatabase db_;
};

// The problem that a failed statement on `path` amounts to (a full disk, a lock, ...).
RegisterProblem ProblemOf(const QString& path, const class QSqlError& error);
