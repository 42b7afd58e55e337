#pragma once
// The values remembered between runs, on QSettings: the native registry key
// HKEY_LOCAL_MACHINE\Software\VARNO\Quillon on Windows, the INI file VARNO/Quillon.conf in the
// user's configuration directory elsewhere (XDG_CONFIG_HOME honoured).

#include <QMap>
#include <QString>
#include <memory>

class QSettings;

// What LoadSettings fills. Defaults are the values FormCreate starts from.
struct StoredSettings {
    int typeTab = 0;
    int portNo = 1;
    QString baudText = QStringLiteral("19200,e,8,1");
    int baudIndex = 5;
    QString langFlag = QStringLiteral("English");
    int langIndex = 0;
};

class SettingsStore {
  public:
    // An empty path means the platform's own location.
    explicit SettingsStore(const QString& iniPath = QString());

    // The INI file in use (empty on Windows, where the registry holds the values).
    QString iniPath() const { return iniPath_; }
    // True when the settings key (or file) exists.
    bool exists() const;
    // A QSettings on the key, or null when it cannot be had.
    std::unique_ptr<QSettings> open() const;

    // Entries of the group "Ports": port number -> device path (COM3=/dev/ttyUSB0).
    QMap<int, QString> portEntries() const;

  private:
    QString iniPath_;
};

// Replaces the defaults in `out` by the stored values, in the order Type, ScanCommNo,
// ScanBaudRate, ScanBaudRateNo, LanguageFlag. A value of the wrong type ends the load where it
// stands. A ScanBaudRateNo outside 0..11 gives 5.
void LoadSettings(const SettingsStore& store, StoredSettings& out);
// Writes Type, ScanCommNo, ScanBaudRateNo, ScanBaudRate (creating the key when missing).
void SaveSettings(const SettingsStore& store, int typeTab, int portNo, int baudIndex,
                  const QString& baudText);
// Writes LanguageFlag.
void SaveLanguage(const SettingsStore& store, const QString& langFlag);
