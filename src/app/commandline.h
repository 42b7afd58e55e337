#pragma once
// The window program's own command line: --help and --version answer without a display, the
// options every Qt program takes pass through, and anything else is refused.

#include <QString>
#include <QStringList>
#include <optional>

struct WindowCommandLine {
    enum class Action { Run, Help, Version, Refuse };
    Action action = Action::Run;
    QString refused;  // the argument that was not understood
    // The site register: --register FILE, --no-register, --site NAME.
    QString registerPath;
    bool noRegister = false;
    std::optional<QString> site;
};

// The arguments after the program's name.
WindowCommandLine ParseWindowCommandLine(const QStringList& args);
// The text --help prints.
QString WindowUsage();
