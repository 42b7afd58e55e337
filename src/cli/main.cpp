// quillon-cli: finds, reads, configures and tests one module from a terminal or a script, on the
// engine alone. Results go to standard output (text, or one JSON object per result), progress
// and diagnostics to standard error; the exit status says how the command ended.

#include "cli/cli.h"

namespace cli {
namespace {

const char* const kHelpText =
    "Commands:\n"
    "  ports                  the mapped ports and whether each opens now\n"
    "  scan                   find the module (--remembered, --lock, --save)\n"
    "  info                   link and print the read-back\n"
    "  set                    change settings, then verify them by read-back\n"
    "  send TEXT              the command test (--hex for the reply's bytes)\n"
    "  print-status           the printer interface's status\n"
    "  print TEXT             print data to the printer interface\n"
    "  print-code TEXT        a print code to the printer interface\n"
    "  link-status            the controller link's status\n"
    "  link-send CR RD DATE CARD CARDID TYPE\n"
    "                         a data record to the controller link\n"
    "  rep-status             the RS-485 repeater's status\n"
    "  rep-send TEXT          raw data through the RS-485 repeater\n"
    "  factory-default        back to the factory settings (--yes in scripts)\n"
    "  dido-test              the DI/DO test (--outputs, --cycles, --seconds, --changes)\n"
    "  card-read              the card read test (--count, --seconds)\n"
    "  dido-check             the I/O check on a loopback harness, DO k wired to DI k:\n"
    "                         a verdict per input (--settle); exit 1 unless all 16 pass\n"
    "  survey                 every module on the bus (--type T|all, --line L|all,\n"
    "                         repeatable, --ids 1-99, --read, --plan FILE.csv); one line\n"
    "                         per module\n"
    "  apply PLAN.csv         commission the modules a plan names by serial number\n"
    "                         (--dry-run, --report REPORT.csv, --line, --ids)\n"
    "  checkout               every input and card reader of every bus ticked off as the\n"
    "                         technician works it (--points FILE.csv, --site, --until-done,\n"
    "                         --line, --ids); --points-template FILE.csv writes the list\n"
    "                         of what a survey finds; exit 1 unless every point passed\n"
    "  register list          the modules of the site register (--site, --type, --json)\n"
    "  register history SERIAL\n"
    "                         a module's history, newest first (--type, --json)\n"
    "  register export FILE.csv [SERIAL]\n"
    "                         the modules (--site, --type), or a module's history, as CSV\n"
    "  register merge OTHER.sqlite\n"
    "                         fold another machine's register into this one\n"
    "  register sync          send the events the team's server lacks, fetch those of\n"
    "                         the granted sites (--server URI, else $QUILLON_SERVER,\n"
    "                         else the window's server)\n"
    "  register server init URI\n"
    "                         create or upgrade the register on a PostgreSQL server\n"
    "  register server grant ROLE SITE\n"
    "                         let a role read and add the site's records (--read-only)\n"
    "  register server revoke ROLE SITE\n"
    "                         take the grant back\n"
    "  report                 the commissioning report of a site (--site, --pdf FILE,\n"
    "                         --csv FILE, --from, --to, --plan PLAN.csv for the modules\n"
    "                         of that plan's runs)\n"
    "  replace OLD_SERIAL     give the one new module of its type on the bus the old\n"
    "                         one's ID, line setting and settings from the register,\n"
    "                         verified (--port, --type, --new-serial, --line, --ids)\n"
    "  survey, apply and checkout take --port more than once: every bus is worked at once, each\n"
    "  line names its port, and the exit status is the worst of the buses' (130, then\n"
    "  3, 4, 1). A second Ctrl-C ends at once.\n"
    "  Ctrl-C, SIGTERM and SIGHUP let the site register write what is queued (at most\n"
    "  2 s) before the program ends, and say how many events were not written.\n"
    "\n"
    "Exit status:\n"
    "  0    success\n"
    "  1    the module did not answer or answered with an error; dido-check: an input\n"
    "       did not pass\n"
    "  2    bad usage (nothing was sent)\n"
    "  3    the port cannot be opened\n"
    "  4    apply: a row of the plan failed (the others are done)\n"
    "  130  interrupted\n"
    "register list, history and export exit with 2 when the register cannot be read.\n"
    "register merge exits with 2 when the other file is refused; nothing is changed then.\n"
    "register sync exits with 1 when it stopped or a site was refused (what was not sent\n"
    "stays queued for the next sync).\n"
    "report exits with 2 when a target file cannot be written, 1 when no module is\n"
    "selected (no file is written then). replace exits with 2 when the register refuses\n"
    "(unknown serial number, replaced already), 1 when the bus does (no new module, more\n"
    "than one, the old ID held); nothing is set then.\n";

}  // namespace

void AddOptions(QCommandLineParser& p) {
    p.setApplicationDescription(
        QStringLiteral("Finds, reads, configures and tests a Quillon serial field module.\n\n") +
        QString::fromLatin1(kHelpText));
    p.addPositionalArgument("command", "ports, scan, info, set, send, ... (see below)");
    p.addOptions({
        {{"h", "help"}, "Shows this help."},
        {{"v", "version"}, "Shows the version."},
        {"type", "Module type: RQ-3016, RQ-3020, RQ-3030, RQ-3040, RQ-3050S, RQ-3050K.", "TYPE"},
        {"port",
         "COMn (as the window numbers ports), a device path, or a network port "
         "(rfc2217://HOST:PORT, tcp://HOST:PORT); survey and apply take several.",
         "PORT"},
        {"line", "Line setting: a text such as 19200,e,8,1 or its code 0..D.", "LINE"},
        {"id", "The module's ID, 1..99 (default 1).", "N"},
        {"json", "One JSON object per result."},
        {"language", "Message language: en, zh-CN or zh-TW.", "LANG"},
        {"remembered", "scan: the remembered place first."},
        {"lock", "scan: only the line setting of --line (or the remembered one)."},
        {"save", "scan: remember the place found in the settings file."},
        {"hex", "send: the reply's bytes in hexadecimal too."},
        {"yes", "factory-default: no confirmation prompt."},
        {"new-id", "set: the new ID, 1..99.", "N"},
        {"new-line", "set: the new line setting.", "LINE"},
        {"di-mode", "set: DI mode, hold or normal.", "MODE"},
        {"di-nonc", "set: NO/NC flags, 16 of 0 or 1, channel 1 first.", "BITS16"},
        {"ch2-id", "set: CH #2's ID, 1..99.", "N"},
        {"interface", "set: RS485 24, 32, 40 or 64.", "IF"},
        {"key-number", "set: key number, 0..16.", "N"},
        {"link-line", "set: line setting of the link module's port.", "LINE"},
        {"run-mode", "set: run mode 0 (dvr), 1 (led), 2 (mp3).", "MODE"},
        {"rep-line", "set: line setting of the repeater's port.", "LINE"},
        {"tx-on", "set: transmit-on delay, 0..255.", "N"},
        {"tx-off", "set: transmit-off delay, 0..255.", "N"},
        {"outputs", "dido-test: the 16 outputs, channel 1 first.", "BITS16"},
        {"cycles", "dido-test: stop after N cycles.", "N"},
        {"changes", "dido-test: print only changed inputs."},
        {"count", "card-read: stop after N cards or keys.", "N"},
        {"seconds", "dido-test, card-read: stop after S seconds.", "S"},
        {"settle",
         "dido-check: at most N exchanges a step for the inputs to settle, 2..10 (default 3).",
         "N"},
        {"ids", "survey: the IDs to ask, N or A-B (default 1-99).", "RANGE"},
        {"read", "survey: read each module's settings back."},
        {"dry-run", "apply: print the commands each row would send; send only the survey."},
        {"report", "apply: write a report row per module to this CSV file.", "FILE"},
        {"register",
         "The site register file (default $QUILLON_REGISTER, else "
         "~/.local/share/VARNO/register.sqlite).",
         "FILE"},
        {"no-register", "Record nothing in the site register."},
        {"site",
         "The site that records carry (default: the window's current site); "
         "register list, export: only this site.",
         "NAME"},
    });
    // Several buses and a bus written as a plan.
    p.addOptions({
        {"plan",
         "survey: write what was found as a plan for apply (implies --read); report: the "
         "modules of this plan's apply runs.",
         "FILE"},
    });
    // The commissioning report and replacing a module.
    p.addOptions({
        {"pdf", "report: write the report as PDF to this file.", "FILE"},
        {"csv", "report: write the report as CSV to this file.", "FILE"},
        {"from", "report: the modules met from this date (YYYY-MM-DD) or time on.", "DATE"},
        {"to", "report: the modules met until this date or time.", "DATE"},
        {"new-serial", "replace: the new module's serial number, when several new ones answer.",
         "SERIAL"},
    });
    // The team's server.
    p.addOptions({
        {"server",
         "register sync, server grant|revoke: the server's libpq URI (default "
         "$QUILLON_SERVER, else the window's RegisterServer setting).",
         "URI"},
        {"read-only", "register server grant: read the site's records, add none."},
    });
    // The site checkout.
    p.addOptions({
        {"points",
         "checkout: the points expected, a CSV of type,serial,point,label (point DI1..DI16, "
         "CH1, CH2, KEYS or ANSWERS).",
         "FILE"},
        {"points-template", "checkout: write the points of the modules a survey finds to FILE.",
         "FILE"},
        {"until-done", "checkout: end once every expected point has passed."},
    });
}

}  // namespace cli

using namespace cli;

int main(int argc, char** argv) {
    InstallSignals();
    // The options are read before the application object exists, so that --help, --version
    // and bad usage cost no more than starting the program.
    QCoreApplication::setApplicationName(QStringLiteral("quillon-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser p;
    AddOptions(p);
    if (!p.parse(arguments)) {
        std::fprintf(stderr, "quillon-cli: %s\nTry 'quillon-cli --help'.\n",
                     p.errorText().toUtf8().constData());
        return kUsage;
    }
    if (p.isSet("help")) {
        QCoreApplication app(argc, argv);  // the program's name for the usage line
        std::fputs(p.helpText().toUtf8().constData(), stdout);
        return kOk;
    }
    if (p.isSet("version")) {
        std::printf("quillon-cli %s\n", QUILLON_VERSION);
        return kOk;
    }
    const std::unique_ptr<QCoreApplication> app = MakeApplication(p, argc, argv);
    try {
        Cli cli(p);
        return cli.run();
    } catch (const UsageError& e) {
        std::fprintf(stderr, "quillon-cli: %s\nTry 'quillon-cli --help'.\n",
                     e.text.toUtf8().constData());
        return kUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillon-cli: %s\n", e.what());
        return kFailed;
    }
}
