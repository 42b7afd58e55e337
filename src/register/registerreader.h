#pragma once
// The register's read side, for the Register window, `quillon-cli register` and reports built
// on it: modules by site, type or serial number, a module's history newest first, its last
// commissioning and last live test, the events of one run of a plan, and which module
// replaced which. A reader has a connection of its own and never changes the file (beyond
// bringing an older schema up to date).

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "register/registerentry.h"
#include "register/registerfile.h"

struct RegisterModule {
    qint64 key = 0;
    RegisterModuleFacts facts;  // the last known port, ID, line setting, version, settings
    QString site;
    QDateTime firstSeen;
    QDateTime lastSeen;
    QString lastTest;  // the verdict of its last live test; empty: none yet
    QDateTime lastTestAt;
    QString recordedBy;  // who recorded its newest event: a server's role, or "local"
};

struct ModuleQuery {
    std::optional<QString> site;  // this site only ("" : modules without one)
    std::optional<QString> type;  // "RQ-3016"
    QString serial;               // this serial number only
    bool withSettings = true;     // false leaves facts.settings empty (a table that omits them)
};

class RegisterReader {
  public:
    // False with the problem when the file cannot be read as a register; a file that does not
    // exist yet reads as an empty register.
    bool open(const QString& path, RegisterProblem* problem = nullptr);
    const QString& path() const { return db_.path(); }

    // By type, then serial number.
    QList<RegisterModule> modules(const ModuleQuery& query = {});
    // The same one at a time, without a list of them all; false when the query fails.
    bool eachModule(const ModuleQuery& query, const std::function<void(const RegisterModule&)>& f);
    std::optional<RegisterModule> module(qint64 key);
    // Newest first; `limit` < 0 for all.
    QList<RegisterEntry> history(qint64 module, int limit = -1);
    // Its last row of a commissioning plan, and its last live test with the cards read.
    // An `until` keeps to the events no later than it; a test without `withCards` leaves its
    // cards unread.
    std::optional<RegisterEntry> lastCommissioning(qint64 module, const QDateTime& until = {});
    std::optional<RegisterEntry> lastTest(qint64 module, const QDateTime& until = {},
                                          bool withCards = true);
    // Its last row of a plan that changed it or failed to (neither "unchanged" nor "not run"),
    // and its last row that found it as the plan has it ("unchanged").
    std::optional<RegisterEntry> lastChange(qint64 module, const QDateTime& until = {});
    std::optional<RegisterEntry> lastConfirmation(qint64 module, const QDateTime& until = {});
    // The rows of every run of the plan with this hash, oldest first.
    QList<RegisterEntry> planRun(const QString& planHash);
    // The module's points of site checkouts ("checkout" events), oldest first; an `until`
    // keeps to the events no later than it.
    QList<RegisterEntry> checkoutEvents(qint64 module, const QDateTime& until = {});
    // The events that tie the module to another ("replaced-by", "replaces"), newest first.
    QList<RegisterEntry> replacements(qint64 module);
    // Every "replaced-by" event of the register, newest first: the modules replaced.
    QList<RegisterEntry> replacedModules();
    // The serial numbers of the modules of `type` with an event at `site` no later than
    // `until`: the modules that were there by then.
    QSet<QString> serialsAt(const QString& type, const QString& site, const QDateTime& until);
    // When the module was last read, set, tested, scanned or linked (a survey's sighting aside,
    // which finds a module without using it); invalid when never.
    QDateTime lastUsed(qint64 module);
    // The sites that modules carry, in order.
    QStringList sites();
    // How many modules and events the register holds.
    qint64 count(const char* table);

  private:
    // `also`: one more condition of SQL text (no values) on the event `e`.
    std::optional<RegisterEntry> last(qint64 module, const char* kind, const QDateTime& until,
                                      bool withCards, const char* also = nullptr);
    QList<RegisterEntry> events(const QString& where, const QVariantList& values,
                                const QString& order, int limit, bool withCards);
    RegisterDb db_;
};

// The filter of the Register window: words that must all match, each in any column, or in
// one column with "serial:", "type:" or "site:" before it; a phrase in double quotes is one
// word. Case does not matter.
struct RegisterFilter {
    struct Term {
        QString column;  // "", "serial", "type", "site"
        QString text;
    };
    QList<Term> terms;
};
RegisterFilter ParseRegisterFilter(const QString& text);
bool Matches(const RegisterModule& module, const RegisterFilter& filter);
