// quillon-cli and the team's server: `register server init|grant|revoke` for whoever
// administers it, and `register sync` for every technician.

#include "cli/cli.h"
#include "register/registersync.h"
#include "register/serverschema.h"
#include "register/serveruri.h"

namespace cli {

QString Cli::serverUri() const {
    return ChooseServerUri(p_.value("server"), LoadRegisterServer(store_));
}

int Cli::serverCommand() {
    const QStringList a = p_.positionalArguments();
    const QString what = a.value(2);
    ServerProblem problem;
    auto refused = [&](const QString& doing) {
        diag(QStringLiteral("%1: %2").arg(doing, problem.describe()));
        return problem.kind == ServerProblem::Kind::BadUri ? int(kUsage) : int(kFailed);
    };
    if (what == QLatin1String("init")) {
        if (a.size() != 4) Usage(QStringLiteral("register server init takes the server's URI"));
        int from = 0;
        if (!InitServer(a.at(3), &from, &problem)) return refused(QStringLiteral("server init"));
        Result r;
        r.add("server", ParseServerUri(a.at(3)).shown);
        r.add("schema", kServerSchemaVersion);
        r.add("was", from);
        r.print(json_);
        return kOk;
    }
    if (what != QLatin1String("grant") && what != QLatin1String("revoke"))
        Usage(QStringLiteral("register server: init, grant or revoke, not \"%1\"").arg(what));
    if (a.size() != 5) Usage(QStringLiteral("register server %1 takes ROLE SITE").arg(what));
    const QString uri = serverUri();
    if (uri.isEmpty())
        Usage(QStringLiteral("register server %1: no server (--server URI)").arg(what));
    const QString role = a.at(3), site = a.at(4);
    if (site.isEmpty()) Usage(QStringLiteral("register server %1: the site is empty").arg(what));
    Result r;
    r.add("role", role);
    r.add("site", site);
    if (what == QLatin1String("grant")) {
        const bool readOnly = p_.isSet("read-only");
        if (!GrantSite(uri, role, site, readOnly, &problem))
            return refused(QStringLiteral("grant"));
        r.add("granted", readOnly ? QStringLiteral("read") : QStringLiteral("read and add"));
    } else {
        bool removed = false;
        if (!RevokeSite(uri, role, site, &removed, &problem))
            return refused(QStringLiteral("revoke"));
        r.add("revoked", removed);
    }
    r.print(json_);
    return kOk;
}

int Cli::syncCommand() {
    if (p_.positionalArguments().size() != 2)
        Usage(QStringLiteral("register sync takes no argument"));
    const QString uri = serverUri();
    if (uri.isEmpty())
        Usage(QStringLiteral(
            "register sync: no server (--server URI, QUILLON_SERVER or the window's setting)"));
    const SyncResult s = SyncRegister(registerPath(), uri);
    Result r;
    r.add("server", ParseServerUri(uri).shown);
    r.add("role", s.role.isEmpty() ? QJsonValue() : QJsonValue(s.role));
    r.add("sent", qint64(s.sent));
    r.add("fetched", qint64(s.fetched));
    r.add("to-send", qint64(s.unsent));
    r.add("sites", QJsonValue::fromVariant(s.sites));
    if (s.refusedRows > 0) r.add("refused-rows", s.refusedRows);
    if (!s.refusedSites.isEmpty()) r.add("no-grant", QJsonValue::fromVariant(s.refusedSites));
    r.add("outcome", s.describe());
    r.print(json_);
    if (!s.ok()) diag(QStringLiteral("register sync: %1").arg(s.describe()));
    return s.ok() ? kOk : kFailed;
}

}  // namespace cli
