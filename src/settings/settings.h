#pragma once
// The values remembered between runs: the native registry key
// HKEY_LOCAL_MACHINE\Software\VARNO\Quillon on Windows, the INI file VARNO/Quillon.conf in the
// user's configuration directory elsewhere (XDG_CONFIG_HOME honoured).
//
// The INI file is the user's as much as ours: a save changes only the lines of the values the
// tool owns (Type, ScanCommNo, ScanBaudRate, ScanBaudRateNo, LanguageFlag, ChatterLimit,
// RegisterSite and RegisterServer in the general group) and leaves every other byte as it stood.
// When the file holds lines that cannot be read, the file as it stood is first kept beside it as
// Quillon.conf.bak, and the notice says so once. Every write replaces the file in one step, so an
// interrupted save leaves the old file.

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <optional>

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
    // Where the file as it stood is kept before a save rewrites a file with unreadable lines.
    QString backupPath() const;
    // True when the settings key (or file) exists.
    bool exists() const;

    // Entries of the group "Ports": port number -> device path (COM3=/dev/ttyUSB0).
    QMap<int, QString> portEntries() const;

    // Told, in a sentence for the user, when a save has kept the previous file as the backup.
    // A backup that already holds what the file held is not made, nor told, again.
    void setNotice(std::function<void(const QString& text)> notice) { notice_ = std::move(notice); }
    // Runs when the new text is written but has not yet replaced the file; returning false
    // abandons the save there, as a crash or a full disk would. For tests.
    void setBeforeReplace(std::function<bool()> hook) { beforeReplace_ = std::move(hook); }

  private:
    friend void LoadSettings(const SettingsStore& store, StoredSettings& out);
    friend void SaveSettings(const SettingsStore& store, int typeTab, int portNo, int baudIndex,
                             const QString& baudText);
    friend void SaveLanguage(const SettingsStore& store, const QString& langFlag);
    friend int LoadChatterLimit(const SettingsStore& store);
    friend void SaveChatterLimit(const SettingsStore& store, int limit);
    friend QString LoadRegisterSite(const SettingsStore& store);
    friend void SaveRegisterSite(const SettingsStore& store, const QString& site);
    friend QStringList LoadIoCheckUnasked(const SettingsStore& store);
    friend void SaveIoCheckUnasked(const SettingsStore& store, const QStringList& sites);
    friend void SaveRegisterServer(const SettingsStore& store, const QString& uri);
    friend QString LoadRegisterServer(const SettingsStore& store);

    struct Value {
        QString name;
        QVariant data;  // an int or a QString
    };

    bool usesRegistry() const;
    // A text value of the general group; empty when it is missing or not a text.
    QString loadText(const QString& name) const;
    // The file's text; nullopt when there is no regular file or it cannot be read.
    std::optional<QByteArray> readFile() const;
    // Writes the values, each an int or a QString; false when nothing was written.
    bool save(const QList<Value>& values) const;
    bool saveToFile(const QList<Value>& values) const;

    QString iniPath_;
    std::function<void(const QString&)> notice_;
    std::function<bool()> beforeReplace_;
};

// Replaces the defaults in `out` by the stored values, in the order Type, ScanCommNo,
// ScanBaudRate, ScanBaudRateNo, LanguageFlag. A value of the wrong type ends the load where it
// stands. A ScanBaudRateNo outside 0..11 gives 5; a ScanCommNo outside 1..255 gives 1.
void LoadSettings(const SettingsStore& store, StoredSettings& out);
// Writes Type, ScanCommNo, ScanBaudRateNo, ScanBaudRate (creating the key when missing).
void SaveSettings(const SettingsStore& store, int typeTab, int portNo, int baudIndex,
                  const QString& baudText);
// Writes LanguageFlag.
void SaveLanguage(const SettingsStore& store, const QString& langFlag);

// The DI timeline's chatter limit (ChatterLimit): an input that changes more often than this
// within one second is flagged. 1..100; a missing or unreadable value, or one outside that
// range, gives 5.
int LoadChatterLimit(const SettingsStore& store);
void SaveChatterLimit(const SettingsStore& store, int limit);
// The current site of the site register (RegisterSite), empty when none is stored.
QString LoadRegisterSite(const SettingsStore& store);
void SaveRegisterSite(const SettingsStore& store, const QString& site);
// The sites where Check I/O switches the outputs without asking first (IoCheckUnasked, the
// site names as a JSON array of texts); empty when none is stored or the value is unreadable.
QStringList LoadIoCheckUnasked(const SettingsStore& store);
void SaveIoCheckUnasked(const SettingsStore& store, const QStringList& sites);
// The shared register's server (RegisterServer), a libpq URI without a password; empty when
// none is set. Whether a URI may be saved is the caller's to decide.
QString LoadRegisterServer(const SettingsStore& store);
void SaveRegisterServer(const SettingsStore& store, const QString& uri);
