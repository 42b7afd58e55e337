#pragma once
// The shared register's server as a libpq connection URI
// (postgresql://[user[:password]@][host][:port][,...][/dbname][?keyword=value&...]), taken apart
// by libpq's own rules into the keywords a connection is made with. A host that is not on this
// machine gets TLS (sslmode=require) unless the URI or PGSSLMODE says otherwise, and a short
// connect timeout, so that an unreachable server is told within seconds (and, over a network, a
// TCP timeout of a minute, so that a connection gone quiet is not waited on for longer).

#include <QMap>
#include <QString>

struct ServerAddress {
    bool valid = false;
    QString error;                    // why the URI does not parse
    QMap<QString, QString> keywords;  // host, port, dbname, user, password, sslmode, ...

    bool hasPassword() const { return keywords.contains(QStringLiteral("password")); }
    // The URI as given, with any password left out: what may be shown or remembered.
    QString shown;
};

ServerAddress ParseServerUri(const QString& uri);

// Why the URI may not be remembered in the settings (a password in it, or it does not parse);
// empty when it may.
QString ServerSaveRefusal(const QString& uri);

// The server a program syncs with: `--server`, else QUILLON_SERVER, else the setting.
QString ChooseServerUri(const QString& option, const QString& setting);
