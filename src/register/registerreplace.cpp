#include "register/registerreplace.h"

#include <QDir>

#include "link/linesettings.h"
#include "register/registerstore.h"

std::optional<ReplacementSource> ReplacementFromRegister(RegisterReader& reader,
                                                         const QString& serial,
                                                         const std::optional<QString>& type,
                                                         QString* why) {
    auto refuse = [why](const QString& text) -> std::optional<ReplacementSource> {
        if (why) *why = text;
        return std::nullopt;
    };
    ModuleQuery query;
    query.serial = serial;
    query.type = type;
    const QList<RegisterModule> known = reader.modules(query);
    if (known.isEmpty()) {
        return refuse(QStringLiteral("no module with serial number %1 in the register %2")
                          .arg(serial, QDir::toNativeSeparators(reader.path())));
    }
    if (known.size() > 1) {
        QStringList types;
        for (const RegisterModule& m : known) types << m.facts.type;
        return refuse(QStringLiteral("%1 is known as %2: name its type (--type)")
                          .arg(serial, types.join(QStringLiteral(" and "))));
    }
    const RegisterModule& old = known.first();
    for (const RegisterEntry& e : reader.replacements(old.key)) {
        if (e.kind == QLatin1String("replaced-by"))
            return refuse(QStringLiteral("%1 %2 was replaced by %3 on %4")
                              .arg(old.facts.type, serial, e.relatedSerial, IsoTime(e.time)));
    }
    const std::optional<ModuleType> t = ParseModuleType(old.facts.type.toStdString());
    const int line = LineSettings::indexOfTextOrCode(old.facts.line, LineSettings::kListed);
    if (!t || old.facts.id < 1 || old.facts.id > 99 || line < 0)
        return refuse(QStringLiteral("the register knows no ID and line setting of %1 %2")
                          .arg(old.facts.type, serial));

    ReplacementSource out;
    ReplaceRequest& r = out.request;
    r.type = *t;
    r.oldSerial = serial;
    r.id = old.facts.id;
    r.lineIndex = line;
    r.settings = old.facts.settings;
    r.site = old.site;
    QDateTime until = reader.lastUsed(old.key);
    if (!until.isValid()) until = old.lastSeen;
    r.inService = reader.serialsAt(old.facts.type, old.site, until);
    r.inService.remove(serial);
    out.oldPort = old.facts.port;
    return out;
}
