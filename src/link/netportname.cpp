#include "link/netportname.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>

#include "link/serialport.h"

bool IsNetworkPortName(const QString& name) {
    const QString t = name.trimmed();
    return t.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive) ||
           t.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive);
}

std::optional<NetPortName> ParseNetPortName(const QString& text, QString* error) {
    auto fail = [error](const QString& why) -> std::optional<NetPortName> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (!IsNetworkPortName(text)) return fail(QStringLiteral("not rfc2217:// or tcp://"));
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid()) return fail(url.errorString());
    NetPortName n;
    n.kind = url.scheme().compare(QLatin1String("tcp"), Qt::CaseInsensitive) == 0
                 ? NetPortName::Kind::Raw
                 : NetPortName::Kind::Rfc2217;
    n.host = url.host();
    if (n.host.isEmpty()) return fail(QStringLiteral("no host"));
    if (!url.userInfo().isEmpty()) return fail(QStringLiteral("user names are not taken"));
    if (!url.path().isEmpty() && url.path() != QLatin1String("/"))
        return fail(QStringLiteral("unexpected path \"%1\"").arg(url.path()));
    if (url.hasFragment()) return fail(QStringLiteral("unexpected \"#\""));
    const int port = url.port();
    if (port < 1 || port > 65535) return fail(QStringLiteral("no port number (HOST:PORT)"));
    n.port = static_cast<quint16>(port);
    const QUrlQuery query(url);
    for (const auto& item : query.queryItems(QUrl::FullyDecoded)) {
        const QString key = item.first.toLower();
        const QString value = item.second;
        if (key == QLatin1String("line") && n.kind == NetPortName::Kind::Raw) {
            n.line = ParseLineSetting(value);
            if (!n.line) return fail(QStringLiteral("line=%1 is no line setting").arg(value));
        } else if (key == QLatin1String("timeout")) {
            bool ok = false;
            const double s = value.toDouble(&ok);
            if (!ok || !(s > 0) || s > 60)
                return fail(QStringLiteral("timeout=%1: seconds, above 0 and up to 60").arg(value));
            n.timeoutMs = std::max(1, static_cast<int>(s * 1000));
        } else if (n.kind == NetPortName::Kind::Rfc2217 &&
                   (key == QLatin1String("ign_set_control") || key == QLatin1String("poll_modem") ||
                    key == QLatin1String("logging"))) {
            // pyserial's options: flow control is never awaited here, modem lines never read.
        } else {
            return fail(QStringLiteral("unknown option \"%1\"").arg(item.first));
        }
    }
    return n;
}

namespace {

// Where the backend may be: beside the program (a build tree), one folder up (tests and
// benchmarks of a build tree), and the installed library folder.
QStringList BackendPlaces() {
    QStringList places;
    const QString dir =
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    const QString env = qEnvironmentVariable("QUILLON_PLUGIN_DIR");
    if (!env.isEmpty()) places << env;
    if (!dir.isEmpty()) {
        places << dir + QStringLiteral("/plugins") << dir + QStringLiteral("/../plugins")
               << dir + QStringLiteral("/../" QUILLON_INSTALL_LIBDIR "/quillon");
    }
    return places;
}

NetworkPortEntry Backend(QString* why) {
    static QString error;
    static const NetworkPortEntry entry = reinterpret_cast<NetworkPortEntry>(
        ResolveQuillonModule(QStringLiteral("quillon-netport"), QUILLON_NETPORT_ENTRY, &error));
    if (!entry && why) *why = error;
    return entry;
}

}  // namespace

QFunctionPointer ResolveQuillonModule(const QString& module, const char* symbol, QString* why) {
    QString error = QStringLiteral("not found");
    for (const QString& place : BackendPlaces()) {
        // The library stays loaded when `lib` goes: its entry is used from then on.
        QLibrary lib(QDir(place).filePath(module));
        if (!lib.load()) {
            error = lib.errorString();
            continue;
        }
        if (const QFunctionPointer entry = lib.resolve(symbol)) return entry;
        error = lib.errorString();
    }
    if (why) *why = error;
    return nullptr;
}

std::unique_ptr<SerialPort> OpenNetworkPort(const QString& name, const QString& lineSetting,
                                            OpenFailure* failure, const OpenWait* wait) {
    QString why;
    const NetworkPortEntry entry = Backend(&why);
    if (!entry) {
        if (failure) {
            *failure = OpenFailure{};
            failure->reason = OpenFailure::Reason::Other;
            failure->device = name;
            failure->detail = QStringLiteral("network ports need quillon-netport: ") + why;
        }
        return nullptr;
    }
    return std::unique_ptr<SerialPort>(entry(name, lineSetting, failure, wait));
}
