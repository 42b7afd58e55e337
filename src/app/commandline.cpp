#include "app/commandline.h"

namespace {

// Qt's own options (QGuiApplication and QApplication), with and without a value.
const char* const kWithValue[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "display", "geometry",
    "style",       "stylesheet",         "qmljsdebugger"};
const char* const kFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

}  // namespace

WindowCommandLine ParseWindowCommandLine(const QStringList& args) {
    WindowCommandLine out;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            out.action = WindowCommandLine::Action::Help;
            return out;
        }
        if (a == QLatin1String("--version") || a == QLatin1String("-v")) {
            out.action = WindowCommandLine::Action::Version;
            return out;
        }
        // The site register's options, as quillon-cli takes them.
        if (a == QLatin1String("--no-register")) {
            out.noRegister = true;
            continue;
        }
        bool ours = false;
        for (const char* o : {"--register", "--site"}) {
            const QString option = QLatin1String(o);
            QString value;
            if (a.startsWith(option + QLatin1Char('='))) {
                value = a.mid(option.size() + 1);
            } else if (a == option && i + 1 < args.size()) {
                value = args.at(++i);
            } else if (a == option) {
                out.action = WindowCommandLine::Action::Refuse;
                out.refused = a;
                return out;
            } else {
                continue;
            }
            ours = true;
            if (option == QLatin1String("--register"))
                out.registerPath = value;
            else
                out.site = value;
        }
        if (ours) continue;
        // Qt takes its options with one dash or two, and "-style=fusion" as well as
        // "-style fusion".
        QString name = a.startsWith(QLatin1String("--")) ? a.mid(2) : a.mid(1);
        const bool inlineValue = name.contains(QLatin1Char('='));
        name = name.section(QLatin1Char('='), 0, 0);
        bool known = false;
        if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            for (const char* o : kWithValue) {
                if (name == QLatin1String(o)) {
                    known = true;
                    // The value is the next argument unless it came with "=".
                    if (!inlineValue) {
                        if (i + 1 >= args.size()) {
                            out.action = WindowCommandLine::Action::Refuse;
                            out.refused = a;
                            return out;
                        }
                        ++i;
                    }
                }
            }
            for (const char* o : kFlags) {
                if (name == QLatin1String(o) && !inlineValue) known = true;
            }
        }
        if (!known) {
            out.action = WindowCommandLine::Action::Refuse;
            out.refused = a;
            return out;
        }
    }
    return out;
}

QString WindowUsage() {
    return QStringLiteral(
        "Usage: quillon [Qt options]\n"
        "Finds, configures and tests RQ field modules through a serial port, in a window.\n"
        "\n"
        "Options:\n"
        "  -h, --help     show this help and exit\n"
        "  -v, --version  show the version and exit\n"
        "  --register FILE  the site register (default $QUILLON_REGISTER, else\n"
        "                 ~/.local/share/VARNO/register.sqlite)\n"
        "  --no-register  record nothing in the site register\n"
        "  --site NAME    the current site of the register (remembered)\n"
        "\n"
        "Qt's own options are taken as every Qt program takes them, for example\n"
        "-platform NAME and -style NAME. quillon-cli does the same work from a terminal.\n");
}
