#include "register/serveruri.h"

#include <QByteArray>
#include <QStringList>

namespace {

// %XX sequences decoded as UTF-8; false when one is broken.
bool Decode(const QString& text, QString* out) {
    const QByteArray in = text.toUtf8();
    QByteArray bytes;
    bytes.reserve(in.size());
    for (int i = 0; i < in.size(); ++i) {
        if (in.at(i) != '%') {
            bytes += in.at(i);
            continue;
        }
        bool ok = false;
        const int v = i + 2 < in.size() ? in.mid(i + 1, 2).toInt(&ok, 16) : 0;
        if (!ok) return false;
        // libpq refuses a zero byte in a URI as well.
        if (v == 0) return false;
        bytes += static_cast<char>(v);
        i += 2;
    }
    *out = QString::fromUtf8(bytes);
    return true;
}

bool IsLocalHost(const QString& host) {
    return host.isEmpty() || host.startsWith(QLatin1Char('/')) ||
           host.startsWith(QLatin1Char('@')) || host == QLatin1String("localhost") ||
           host == QLatin1String("127.0.0.1") || host == QLatin1String("::1");
}

ServerAddress Refused(const QString& why) {
    ServerAddress a;
    a.error = why;
    return a;
}

}  // namespace

ServerAddress ParseServerUri(const QString& uri) {
    QString rest;
    for (const char* scheme : {"postgresql://", "postgres://"}) {
        if (uri.startsWith(QLatin1String(scheme))) rest = uri.mid(int(qstrlen(scheme)));
    }
    if (rest.isNull())
        return Refused(QStringLiteral("a server is a URI that begins with postgresql://"));
    ServerAddress a;
    QString query;
    const int q = rest.indexOf(QLatin1Char('?'));
    if (q >= 0) {
        query = rest.mid(q + 1);
        rest.truncate(q);
    }
    QString path;
    const int slash = rest.indexOf(QLatin1Char('/'));
    if (slash >= 0) {
        path = rest.mid(slash + 1);
        rest.truncate(slash);
    }
    // The user part ends at the last '@' of the authority.
    const int at = rest.lastIndexOf(QLatin1Char('@'));
    QString shownAuthority = rest;
    if (at >= 0) {
        const QString userInfo = rest.left(at);
        const int colon = userInfo.indexOf(QLatin1Char(':'));
        QString user, password;
        if (!Decode(colon >= 0 ? userInfo.left(colon) : userInfo, &user) ||
            (colon >= 0 && !Decode(userInfo.mid(colon + 1), &password)))
            return Refused(QStringLiteral("a broken %-escape in the user name or password"));
        if (!user.isEmpty()) a.keywords.insert(QStringLiteral("user"), user);
        if (colon >= 0) {
            a.keywords.insert(QStringLiteral("password"), password);
            shownAuthority = userInfo.left(colon) + rest.mid(at);
        }
        rest = rest.mid(at + 1);
    }
    // Hosts and ports, comma-separated; an IPv6 address in brackets.
    QStringList hosts, ports;
    for (const QString& part : rest.split(QLatin1Char(','))) {
        QString host = part, port;
        if (host.startsWith(QLatin1Char('['))) {
            const int end = host.indexOf(QLatin1Char(']'));
            if (end < 0) return Refused(QStringLiteral("an IPv6 address without its ']'"));
            port = host.mid(end + 1);
            host = host.mid(1, end - 1);
            if (!port.isEmpty() && !port.startsWith(QLatin1Char(':')))
                return Refused(QStringLiteral("text after an IPv6 address"));
            port = port.mid(1);
        } else {
            const int colon = host.indexOf(QLatin1Char(':'));
            if (colon >= 0) {
                port = host.mid(colon + 1);
                host.truncate(colon);
            }
        }
        QString h, p;
        if (!Decode(host, &h) || !Decode(port, &p))
            return Refused(QStringLiteral("a broken %-escape in the host"));
        hosts << h;
        ports << p;
    }
    if (hosts.join(QString()).size() > 0)
        a.keywords.insert(QStringLiteral("host"), hosts.join(QLatin1Char(',')));
    if (ports.join(QString()).size() > 0)
        a.keywords.insert(QStringLiteral("port"), ports.join(QLatin1Char(',')));
    if (!path.isEmpty()) {
        QString db;
        if (!Decode(path, &db)) return Refused(QStringLiteral("a broken %-escape in the database"));
        a.keywords.insert(QStringLiteral("dbname"), db);
    }
    QStringList shownQuery;
    if (!query.isEmpty()) {
        for (const QString& pair : query.split(QLatin1Char('&'))) {
            const int eq = pair.indexOf(QLatin1Char('='));
            if (eq <= 0)
                return Refused(QStringLiteral("a parameter without a value: %1").arg(pair));
            QString key, value;
            if (!Decode(pair.left(eq), &key) || !Decode(pair.mid(eq + 1), &value))
                return Refused(QStringLiteral("a broken %-escape in %1").arg(pair));
            // As in libpq, the JDBC spelling of TLS is taken too.
            if (key == QLatin1String("ssl") && value == QLatin1String("true")) {
                key = QStringLiteral("sslmode");
                value = QStringLiteral("require");
            }
            a.keywords.insert(key, value);
            if (key != QLatin1String("password")) shownQuery << pair;
        }
    }
    a.shown =
        uri.left(uri.indexOf(QLatin1String("//")) + 2) + shownAuthority +
        (slash >= 0 ? QLatin1Char('/') + path : QString()) +
        (shownQuery.isEmpty() ? QString() : QLatin1Char('?') + shownQuery.join(QLatin1Char('&')));

    const QString host = a.keywords.value(QStringLiteral("host"));
    bool local = a.keywords.value(QStringLiteral("hostaddr")).isEmpty();
    for (const QString& h : host.split(QLatin1Char(','))) local = local && IsLocalHost(h);
    if (!local && !a.keywords.contains(QStringLiteral("sslmode")) &&
        qEnvironmentVariableIsEmpty("PGSSLMODE") && !a.keywords.contains(QStringLiteral("service")))
        a.keywords.insert(QStringLiteral("sslmode"), QStringLiteral("require"));
    // A connection over a network that goes quiet is given up within a minute rather than
    // waited on for as long as the system's TCP would.
    if (!local && !a.keywords.contains(QStringLiteral("tcp_user_timeout")))
        a.keywords.insert(QStringLiteral("tcp_user_timeout"), QStringLiteral("60000"));
    if (!a.keywords.contains(QStringLiteral("connect_timeout")) &&
        qEnvironmentVariableIsEmpty("PGCONNECT_TIMEOUT"))
        a.keywords.insert(QStringLiteral("connect_timeout"), QStringLiteral("10"));
    a.valid = true;
    return a;
}

QString ServerSaveRefusal(const QString& uri) {
    const ServerAddress a = ParseServerUri(uri);
    if (!a.valid) return a.error;
    if (a.hasPassword())
        return QStringLiteral(
            "a password is never kept with the server's address: put it in ~/.pgpass (or the "
            "file PGPASSFILE names, or a service file) and leave it out of the URI");
    return QString();
}

QString ChooseServerUri(const QString& option, const QString& setting) {
    if (!option.isEmpty()) return option;
    const QString env = qEnvironmentVariable("QUILLON_SERVER");
    if (!env.isEmpty()) return env;
    return setting;
}
