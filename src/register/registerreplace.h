#pragma once
// The register's side of replacing a module: what it knows of the old one (type, ID, line
// setting, type settings, site) and which modules were in service beside it, or why the module
// cannot be replaced. Reads only; nothing is sent.

#include <QDateTime>
#include <QString>
#include <optional>

#include "engine/replace.h"
#include "register/registerreader.h"

struct ReplacementSource {
    ReplaceRequest request;  // its survey's port and lists are the caller's to fill in
    QString oldPort;         // where the old module was last met, as the user named it
};

// The request for the module with this serial number (of `type`, when given). Refused, with
// `why`, for a serial number the register does not know, one it knows of several types
// without `type`, a module without a known ID or line setting, and one replaced already.
//
// The modules in service beside it are those of its type that the register met at its site
// before it was last used (read, set, tested, scanned or linked): a module put on the bus after
// that, the new one among them, is not one of them.
std::optional<ReplacementSource> ReplacementFromRegister(RegisterReader& reader,
                                                         const QString& serial,
                                                         const std::optional<QString>& type,
                                                         QString* why);
