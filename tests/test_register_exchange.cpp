// Registers meeting: merging another machine's register in (nothing twice, the newer field
// wins, refusals that change nothing), the CSV of the table, of a history and of a report with
// texts that need quoting or that a spreadsheet would run, and the Register window's filter.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "engine/commission.h"
#include "engine/survey.h"
#include "register/registercsv.h"
#include "register/registermerge.h"
#include "register/registerreader.h"
#include "register/registerreport.h"
#include "register/registerwriter.h"
#include "support/registertest.h"

using namespace registertest;
using Kind = RegisterProblem::Kind;

class TestRegisterExchange : public QObject {
    Q_OBJECT
  private slots:
    void mergeAddsNothingTwice();
    void mergeRefuses_data();
    void mergeRefuses();
    void csvRoundTrip_data();
    void csvRoundTrip();
    void filter_data();
    void filter();

  private:
    QTemporaryDir dir_;
};

void TestRegisterExchange::mergeAddsNothingTwice() {
    const QString a = dir_.filePath(QStringLiteral("merge-a.sqlite"));
    const QString b = dir_.filePath(QStringLiteral("merge-b.sqlite"));
    const QDateTime t0 = QDateTime::currentDateTimeUtc().addSecs(-3600);
    {
        RegisterWriter w(a);
        w.post(Entry(QStringLiteral("16000001"), QStringLiteral("Site A"), t0));
        RegisterEntry later = Entry(QStringLiteral("16000001"), QString(), t0.addSecs(300));
        later.module.port = QStringLiteral("/dev/ttyUSB0");
        w.post(later);
        QVERIFY(w.flush());
    }
    {
        RegisterWriter w(b);
        RegisterEntry older =
            Entry(QStringLiteral("16000001"), QStringLiteral("Site B"), t0.addSecs(60));
        older.module.port = QStringLiteral("COM9");
        older.module.version = QStringLiteral("01.30-01");
        w.post(older);
        RegisterEntry test =
            Entry(QStringLiteral("50000002"), QStringLiteral("Site B"), t0.addSecs(120));
        test.module.type = QStringLiteral("RQ-3050S");
        test.kind = QStringLiteral("test");
        RegisterTestRun run;
        run.test = QStringLiteral("card-test");
        run.ending = QStringLiteral("stopped");
        run.started = t0;
        run.ended = t0.addSecs(120);
        run.verdict = QStringLiteral("passed");
        run.cards = {CardRead{1500, 2, false, QStringLiteral("0000163003"),
                              QStringLiteral("00027CBB"), QStringLiteral("42")}};
        test.test = run;
        w.post(test);
        QVERIFY(w.flush());
    }
    MergeCounts c;
    RegisterProblem p;
    QVERIFY2(MergeRegister(a, b, &c, &p), qPrintable(p.describe()));
    QCOMPARE(c.modules, 1);
    QCOMPARE(c.events, 2);
    QCOMPARE(c.tests, 1);
    // Twice, and back: nothing is added twice.
    QVERIFY(MergeRegister(a, b, &c, &p));
    QCOMPARE(c.events + c.modules + c.tests, 0);
    QVERIFY(MergeRegister(b, a, &c, &p));
    QCOMPARE(c.events, 2);
    QCOMPARE(Events(a), 4);
    QCOMPARE(Events(b), 4);

    RegisterReader r;
    QVERIFY(r.open(a));
    const QList<RegisterModule> m =
        r.modules({std::nullopt, std::nullopt, QStringLiteral("16000001")});
    QCOMPARE(m.size(), 1);
    // The newest event's port wins; a field only the older one told is taken.
    QCOMPARE(m.first().facts.port, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(m.first().facts.version, QStringLiteral("01.30-01"));
    QCOMPARE(m.first().site, QStringLiteral("Site B"));
    QCOMPARE(m.first().firstSeen, t0);
    const QList<RegisterModule> s = r.modules({std::nullopt, QStringLiteral("RQ-3050S"), {}});
    QCOMPARE(s.size(), 1);
    QCOMPARE(s.first().lastTest, QStringLiteral("passed"));
    const std::optional<RegisterEntry> test = r.lastTest(s.first().key);
    QVERIFY(test && test->test);
    QCOMPARE(test->test->cards.size(), 1);
    QCOMPARE(test->test->cards.first().channel, 2);
    QCOMPARE(test->test->cards.first().keys, QStringLiteral("42"));
}

void TestRegisterExchange::mergeRefuses_data() {
    QTest::addColumn<QString>("other");
    QTest::addColumn<int>("kind");
    QTest::newRow("not a database") << "text" << int(Kind::NotDatabase);
    QTest::newRow("another program's database") << "foreign" << int(Kind::NotRegister);
    QTest::newRow("a newer schema") << "newer" << int(Kind::Newer);
    QTest::newRow("itself") << "self" << int(Kind::SameFile);
    QTest::newRow("itself through a link") << "link" << int(Kind::SameFile);
    QTest::newRow("no such file") << "missing" << int(Kind::Failed);
    // Registers that no Quillon wrote: a view in a table's place that never ends, a trigger, a
    // module without a serial number, a time as text, an event of a module that is not there.
    QTest::newRow("a module table that never ends")
        << "ALTER TABLE module RENAME TO module_rows;\n"
           "CREATE VIEW module AS WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n)"
           " SELECT m.* FROM module_rows m, n;"
        << int(Kind::Failed);
    QTest::newRow("a trigger") << "CREATE TRIGGER t AFTER INSERT ON event BEGIN SELECT 1; END;"
                               << int(Kind::Failed);
    QTest::newRow("no serial") << "UPDATE module SET serial = '';" << int(Kind::Failed);
    QTest::newRow("a time as text") << "UPDATE event SET time = 'soon';" << int(Kind::Failed);
    QTest::newRow("an event without its module")
        << "PRAGMA foreign_keys = OFF;\nUPDATE event SET module = 99;" << int(Kind::Failed);
}

void TestRegisterExchange::mergeRefuses() {
    QFETCH(QString, other);
    QFETCH(int, kind);
    const QString base = dir_.filePath(QStringLiteral("refuse-") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(base));
    const QString into = base + QStringLiteral("/register.sqlite");
    {
        RegisterWriter w(into);
        w.post(Entry(QStringLiteral("16000001")));
        QVERIFY(w.flush());
    }
    QString path = base + QStringLiteral("/other.sqlite");
    if (other == "text") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a register");
    } else if (other == "foreign") {
        QVERIFY(Load(path, QStringLiteral("CREATE TABLE event (uuid BLOB);")));
    } else if (other == "newer") {
        QVERIFY(Load(path, QStringLiteral("PRAGMA application_id = %1;\nPRAGMA user_version = 99;\n"
                                          "CREATE TABLE module (x);")
                               .arg(kRegisterApplicationId)));
    } else if (other == "self") {
        path = into;
    } else if (other == "link") {
        QVERIFY(QFile::link(into, path));
    } else if (other != "missing") {
        {
            RegisterWriter w(path);
            w.post(Entry(QStringLiteral("16000002")));
            QVERIFY(w.flush());
        }
        QVERIFY(Load(path, other));
    }
    const QByteArray before = Bytes(into);
    MergeCounts c;
    RegisterProblem p;
    QVERIFY(!MergeRegister(into, path, &c, &p));
    QCOMPARE(int(p.kind), kind);
    QVERIFY(!p.describe().isEmpty());
    QCOMPARE(Bytes(into), before);
    QCOMPARE(Events(into), 1);
}

void TestRegisterExchange::csvRoundTrip_data() {
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("serial");
    // Texts a spreadsheet would run as a formula: a spreadsheet file shows them after a '.
    QTest::addColumn<bool>("guarded");
    QTest::newRow("quotes") << "say \"hi\""
                            << "AB\"CD\"E" << false;
    QTest::newRow("commas") << "a,b,c"
                            << "12,34,56" << false;
    QTest::newRow("line breaks") << "line 1\nline 2\r\nend"
                                 << "1234\n678" << false;
    QTest::newRow("chinese") << "北京 工地 三號"
                             << "序號12345" << false;
    QTest::newRow("blanks at the ends") << " padded "
                                        << " 123456 " << false;
    QTest::newRow("sql in a text") << "x'); DROP TABLE module; --"
                                   << "'OR'1'='" << false;
    QTest::newRow("formula") << "=HYPERLINK(\"http://x.example\",\"open\")"
                             << "=1+2" << true;
    QTest::newRow("plus") << "+SUM(A1:A9)"
                          << "+1600000" << true;
    QTest::newRow("minus") << "-2+3"
                           << "-1600000" << true;
    QTest::newRow("at") << "@SUM(A1)"
                        << "@1600000" << true;
    QTest::newRow("tab") << "\t=1+2"
                         << "\t1600000" << true;
    QTest::newRow("carriage return") << "\r=1+2"
                                     << "\r1600000" << true;
}

void TestRegisterExchange::csvRoundTrip() {
    QFETCH(QString, site);
    QFETCH(QString, serial);
    QFETCH(bool, guarded);
    const QString shownSite = guarded ? "'" + site : site;
    const QString shownSerial = guarded ? "'" + serial : serial;
    const QString path =
        dir_.filePath(QStringLiteral("csv-%1.sqlite").arg(QTest::currentDataTag()));
    {
        RegisterWriter w(path);
        w.post(Entry(QStringLiteral("16000001"), QStringLiteral("other site")));
        RegisterEntry e = Entry(serial, site);
        e.before = SettingValues{{QStringLiteral("di-mode"), QStringLiteral("hold")}};
        e.after = SettingValues{{QStringLiteral("di-mode"), site}};
        w.post(e);
        QVERIFY(w.flush());
    }
    RegisterReader r;
    QVERIFY(r.open(path));
    // Bound, not pasted: the site finds exactly its own module.
    const QList<RegisterModule> found = r.modules({site, std::nullopt, {}});
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().facts.serial, serial);
    QCOMPARE(r.modules().size(), 2);

    const QString modules = dir_.filePath(QStringLiteral("modules.csv"));
    QString why;
    QVERIFY(WriteCsv(modules, ModuleCsvHeader(), {ModuleCsvCells(found.first())}, &why));
    const QByteArray bytes = Bytes(modules);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QList<QStringList> rows = ParseCsv(bytes);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0), ModuleCsvHeader());
    QCOMPARE(rows.at(1).at(ModuleCsvHeader().indexOf("site")), shownSite);
    QCOMPARE(rows.at(1).at(ModuleCsvHeader().indexOf("serial")), shownSerial);

    const QString history = dir_.filePath(QStringLiteral("history.csv"));
    QList<QStringList> cells;
    for (const RegisterEntry& e : r.history(found.first().key)) cells << HistoryCsvCells(e);
    QVERIFY(WriteCsv(history, HistoryCsvHeader(), cells, &why));
    const QList<QStringList> h = ParseCsv(Bytes(history));
    QCOMPARE(h.size(), 2);
    QCOMPARE(h.at(1).at(HistoryCsvHeader().indexOf("site")), shownSite);
    QCOMPARE(h.at(1).at(HistoryCsvHeader().indexOf("serial")), shownSerial);
    QCOMPARE(h.at(1).at(HistoryCsvHeader().indexOf("after")), "di-mode=" + site);

    const QString report = dir_.filePath(QStringLiteral("report.csv"));
    QVERIFY(WriteReportCsv(report, GatherReport(r, {site, {}, {}, {}, {}}, "1"), &why));
    const QList<QStringList> rr = ParseCsv(Bytes(report));
    QCOMPARE(rr.size(), 2);
    QCOMPARE(rr.at(1).at(ReportCsvHeader().indexOf("site")), shownSite);
    QCOMPARE(rr.at(1).at(ReportCsvHeader().indexOf("serial")), shownSerial);

    // A plan is a machine file: the serial number stands as the module gave it.
    SurveyModule f;
    f.serial = serial;
    const QStringList plan = WritePlan({f}, {}).split('\n');
    if (!serial.contains(',') && !serial.contains('"') && !serial.contains('\n'))
        QCOMPARE(plan.value(1).split(',').value(1), serial);
}

void TestRegisterExchange::filter_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("matches");
    QTest::newRow("empty") << "" << true;
    QTest::newRow("serial anywhere") << "16000003" << true;
    QTest::newRow("serial column") << "serial:0000" << true;
    QTest::newRow("type column, other type") << "type:3050" << false;
    QTest::newRow("site phrase") << "site:\"plant 4\"" << true;
    QTest::newRow("two words, both found") << "Plant 4" << true;
    QTest::newRow("two words, one missing") << "plant 5" << false;
    QTest::newRow("site column, other site") << "site:depot" << false;
    QTest::newRow("port") << "com3" << true;
    QTest::newRow("last test") << "passed" << true;
    QTest::newRow("id") << "07" << true;
    QTest::newRow("type and serial") << "type:rq-3016 serial:03" << true;
}

void TestRegisterExchange::filter() {
    QFETCH(QString, filter);
    QFETCH(bool, matches);
    RegisterModule m;
    m.facts.type = QStringLiteral("RQ-3016");
    m.facts.serial = QStringLiteral("16000003");
    m.facts.port = QStringLiteral("COM3");
    m.facts.id = 7;
    m.site = QStringLiteral("Plant 4, hall B");
    m.lastTest = QStringLiteral("passed");
    QCOMPARE(Matches(m, ParseRegisterFilter(filter)), matches);
}

QTEST_GUILESS_MAIN(TestRegisterExchange)
#include "test_register_exchange.moc"
