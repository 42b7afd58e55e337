// The settings file: any file where the INI file is kept gives defaults or stored values in
// range, and what is loaded is saved and loaded back unchanged.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "check.h"
#include "settings/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    static int serial = 0;
    // A new file each time: QSettings keeps files it has read in a cache of its own.
    const QString path = dir.filePath(QStringLiteral("Quillon%1.conf").arg(++serial));
    {
        QFile f(path);
        Check(f.open(QIODevice::WriteOnly), "temporary file");
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    SettingsStore store(path);
    StoredSettings loaded;
    LoadSettings(store, loaded);
    Check(loaded.baudIndex >= 0 && loaded.baudIndex < 12, "line-setting index in range");
    Check(loaded.langIndex >= 0 && loaded.langIndex < 3, "language in range");
    const QMap<int, QString> ports = store.portEntries();
    for (auto it = ports.cbegin(); it != ports.cend(); ++it) {
        Check(it.key() > 0 && !it.value().isEmpty() && it.value() == it.value().trimmed(),
              "port entry");
    }

    SaveSettings(store, loaded.typeTab, loaded.portNo, loaded.baudIndex, loaded.baudText);
    SaveLanguage(store, loaded.langFlag);
    StoredSettings again;
    LoadSettings(store, again);
    Check(again.typeTab == loaded.typeTab && again.portNo == loaded.portNo &&
              again.baudIndex == loaded.baudIndex && again.baudText == loaded.baudText &&
              again.langFlag == loaded.langFlag && again.langIndex == loaded.langIndex,
          "saved values load back");
    QFile::remove(path);
    return 0;
}
