#include "settings/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStringList>
#include <memory>

#include "settings/inidocument.h"
#include "text/messagetable.h"

#ifdef Q_OS_WIN
#include <QSettings>
#endif

namespace {

constexpr int kBaudIndexCount = 12;
constexpr int kHighestPort = 255;

const QString kGeneral = QStringLiteral("General");
const QString kType = QStringLiteral("Type");
const QString kScanCommNo = QStringLiteral("ScanCommNo");
const QString kScanBaudRate = QStringLiteral("ScanBaudRate");
const QString kScanBaudRateNo = QStringLiteral("ScanBaudRateNo");
const QString kLanguageFlag = QStringLiteral("LanguageFlag");
const QString kChatterLimit = QStringLiteral("ChatterLimit");
constexpr int kDefaultChatterLimit = 5;
constexpr int kMaxChatterLimit = 100;
const QString kRegisterSite = QStringLiteral("RegisterSite");
const QString kIoCheckUnasked = QStringLiteral("IoCheckUnasked");
const QString kRegisterServer = QStringLiteral("RegisterServer");
const QString kPorts = QStringLiteral("Ports");

// A text ends at its first zero character, as a registry string does.
QString endAtZero(QString text) {
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0) text.truncate(nul);
    return text;
}

// "COM3" -> 3; 0 for any other key.
// Plain code rather than a regular expression: this runs while the window starts.
int portNumberOf(const QString& key) {
    if (!key.startsWith(QLatin1String("COM"))) return 0;
    const QStringView digits = QStringView(key).mid(3);
    if (digits.isEmpty() || digits.size() > 9 || digits.front() == u'0') return 0;
    int n = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9') return 0;
        n = n * 10 + (c.unicode() - u'0');
    }
    return n;
}

// What the load asks of the store: whether a value exists, and its data as a 32-bit integer
// or as text, nullopt for a value of another type.
class ValueSource {
  public:
    virtual ~ValueSource() = default;
    virtual bool contains(const QString& name) const = 0;
    virtual std::optional<int> intValue(const QString& name) const = 0;
    virtual std::optional<QString> textValue(const QString& name) const = 0;
};

// The general group of the INI file. Values are text there, so an integer is a value written
// as one decimal int32; a value that cannot be read is of no type the load accepts.
class IniSource : public ValueSource {
  public:
    explicit IniSource(const IniDocument& doc) : doc_(doc) {}
    bool contains(const QString& name) const override {
        return doc_.find(kGeneral, name).has_value();
    }
    std::optional<int> intValue(const QString& name) const override {
        const auto entry = doc_.find(kGeneral, name);
        if (!entry || !entry->value) return std::nullopt;
        return entry->value->toInt();
    }
    std::optional<QString> textValue(const QString& name) const override {
        const auto entry = doc_.find(kGeneral, name);
        if (!entry || !entry->value) return std::nullopt;
        const std::optional<QString> text = entry->value->toText();
        if (!text) return std::nullopt;
        return endAtZero(*text);
    }

  private:
    const IniDocument& doc_;
};

#ifdef Q_OS_WIN
const QString kRegistryParent = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\VARNO");
const QString kRegistryKey = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\VARNO\\Quillon");

std::unique_ptr<QSettings> openRegistry() {
    auto s = std::make_unique<QSettings>(kRegistryKey, QSettings::NativeFormat);
    if (s->status() != QSettings::NoError) return nullptr;
    return s;
}

// A registry value: a DWORD comes as an integer variant, a string as text.
std::optional<int> registryInt(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Int:
            return v.toInt();
        case QMetaType::UInt:
            // A DWORD holds the bits of a signed value: 0xFFFFFFFF is -1.
            return static_cast<int>(v.toUInt());
        default:
            return std::nullopt;
    }
}

std::optional<QString> registryText(const QVariant& v) {
    if (v.typeId() != QMetaType::QString) return std::nullopt;
    return endAtZero(v.toString());
}

class RegistrySource : public ValueSource {
  public:
    explicit RegistrySource(QSettings& s) : s_(s) {}
    bool contains(const QString& name) const override { return s_.contains(name); }
    std::optional<int> intValue(const QString& name) const override {
        return registryInt(s_.value(name));
    }
    std::optional<QString> textValue(const QString& name) const override {
        return registryText(s_.value(name));
    }

  private:
    QSettings& s_;
};
#else
// $XDG_CONFIG_HOME when set and non-empty, else ~/.config. Looked up on every call, so that a
// change of the environment (as tests make) takes effect.
QString configDir() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty()) return xdg;
    return QDir::homePath() + QStringLiteral("/.config");
}
#endif

void loadFrom(const ValueSource& src, StoredSettings& out) {
    const StoredSettings defaults;
    // Each step either takes the stored value, takes the default when the value is missing,
    // or ends the load on a value of the wrong type.
    auto readInt = [&](const QString& name, int fallback, int& field) {
        if (!src.contains(name)) {
            field = fallback;
            return true;
        }
        const std::optional<int> n = src.intValue(name);
        if (!n) return false;
        field = *n;
        return true;
    };
    auto readText = [&](const QString& name, const QString& fallback, QString& field) {
        if (!src.contains(name)) {
            field = fallback;
            return true;
        }
        const std::optional<QString> t = src.textValue(name);
        if (!t) return false;
        field = *t;
        return true;
    };

    if (!readInt(kType, defaults.typeTab, out.typeTab)) return;
    if (!readInt(kScanCommNo, defaults.portNo, out.portNo)) return;
    // Port numbers run from 1 to 255; anything else would name no port the box can show.
    if (out.portNo < 1 || out.portNo > kHighestPort) out.portNo = defaults.portNo;
    if (!readText(kScanBaudRate, defaults.baudText, out.baudText)) return;
    if (!readInt(kScanBaudRateNo, defaults.baudIndex, out.baudIndex)) return;
    // The index selects from the twelve line settings of the window; keep it inside them.
    if (out.baudIndex < 0 || out.baudIndex >= kBaudIndexCount) out.baudIndex = defaults.baudIndex;
    if (!readText(kLanguageFlag, defaults.langFlag, out.langFlag)) return;
    out.langIndex = Languages::indexOfFlag(out.langFlag);
}

QByteArray encoded(const QVariant& data) {
    if (data.typeId() == QMetaType::Int) return QByteArray::number(data.toInt());
    return IniDocument::encodeText(data.toString());
}

// The file as `doc` with the values set.
QByteArray withValues(IniDocument doc, const QList<QPair<QString, QByteArray>>& values) {
    for (const auto& [name, text] : values) doc.setValue(kGeneral, name, text);
    return doc.toBytes();
}

// What of an INI text is the user's alone: the text without the owned values, once each of
// them has been set (which adds the same lines around them that a save adds).
QByteArray userPart(const QByteArray& text) {
    static const QStringList owned{kType,         kScanCommNo,   kScanBaudRateNo, kScanBaudRate,
                                   kLanguageFlag, kChatterLimit, kRegisterSite,   kIoCheckUnasked,
                                   kRegisterServer};
    IniDocument doc(text);
    for (const QString& name : owned) doc.setValue(kGeneral, name, QByteArray());
    for (const QString& name : owned) doc.remove(kGeneral, name);
    return doc.toBytes();
}

// Writes `bytes` to `path` in one step: the old file stays whole until the new one is complete.
bool replaceFile(const QString& path, const QByteArray& bytes) {
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return false;
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

// A file the user has left writable. Write permission for nobody means "leave it alone", even
// to a user whom the system would let write.
bool mayRewrite(const QFileInfo& info) {
    const auto anyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return info.isWritable() && (info.permissions() & anyWrite);
}

}  // namespace

SettingsStore::SettingsStore(const QString& iniPath) : iniPath_(iniPath) {
#ifndef Q_OS_WIN
    if (iniPath_.isEmpty()) iniPath_ = configDir() + QStringLiteral("/VARNO/Quillon.conf");
#endif
}

QString SettingsStore::backupPath() const {
    return iniPath_.isEmpty() ? QString() : iniPath_ + QStringLiteral(".bak");
}

bool SettingsStore::usesRegistry() const {
#ifdef Q_OS_WIN
    return iniPath_.isEmpty();
#else
    return false;
#endif
}

bool SettingsStore::exists() const {
#ifdef Q_OS_WIN
    if (usesRegistry()) {
        QSettings parent(kRegistryParent, QSettings::NativeFormat);
        return parent.childGroups().contains(QStringLiteral("Quillon"), Qt::CaseInsensitive);
    }
#endif
    return QFileInfo(iniPath_).isFile();
}

std::optional<QByteArray> SettingsStore::readFile() const {
    if (!QFileInfo(iniPath_).isFile()) return std::nullopt;
    QFile f(iniPath_);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) return std::nullopt;
    return bytes;
}

QMap<int, QString> SettingsStore::portEntries() const {
    QMap<int, QString> entries;
    auto add = [&](const QString& key, const std::optional<QString>& device) {
        const int n = portNumberOf(key);
        if (n == 0 || !device) return;
        const QString path = device->trimmed();
        if (!path.isEmpty()) entries.insert(n, path);
    };
#ifdef Q_OS_WIN
    if (usesRegistry()) {
        if (!exists()) return entries;
        const auto s = openRegistry();
        if (!s) return entries;
        s->beginGroup(kPorts);
        const QStringList keys = s->childKeys();
        for (const QString& key : keys) add(key, registryText(s->value(key)));
        s->endGroup();
        return entries;
    }
#endif
    const std::optional<QByteArray> text = readFile();
    if (!text) return entries;
    const IniDocument doc(*text);
    const QList<IniDocument::Entry> lines = doc.entries(kPorts);
    for (const IniDocument::Entry& e : lines) {
        std::optional<QString> device;
        if (e.value) device = e.value->toText();
        if (device) device = endAtZero(*device);
        add(e.key, device);
    }
    return entries;
}

bool SettingsStore::save(const QList<Value>& values) const {
#ifdef Q_OS_WIN
    if (usesRegistry()) {
        const auto s = openRegistry();
        if (!s) return false;
        for (const Value& v : values) s->setValue(v.name, v.data);
        s->sync();
        return s->status() == QSettings::NoError;
    }
#endif
    return saveToFile(values);
}

bool SettingsStore::saveToFile(const QList<Value>& values) const {
    const QFileInfo info(iniPath_);
    QByteArray old;
    QString target = iniPath_;
    if (info.exists()) {
        // A directory or device in the file's place, a file the user made read-only, or one
        // that cannot be read (and so could not be kept): nothing is written.
        if (!info.isFile() || !mayRewrite(info)) return false;
        const std::optional<QByteArray> text = readFile();
        if (!text) return false;
        old = *text;
        // Through a link, the file it names is rewritten and the link stays.
        target = info.canonicalFilePath();
    } else if (!QDir().mkpath(info.absolutePath())) {
        return false;
    }

    QList<QPair<QString, QByteArray>> texts;
    for (const Value& v : values) texts.append({v.name, encoded(v.data)});
    const IniDocument doc(old);
    const QByteArray updated = withValues(doc, texts);

    // A file with lines that cannot be read is kept as it stood before a save rewrites it,
    // unless the backup already differs from it in nothing but the owned values (as after an
    // earlier save of this run or of the last).
    bool backedUp = false;
    if (!doc.isClean()) {
        const std::optional<QByteArray> previous = [&]() -> std::optional<QByteArray> {
            QFile bak(backupPath());
            if (!bak.open(QIODevice::ReadOnly)) return std::nullopt;
            return bak.readAll();
        }();
        if (!previous || userPart(*previous) != userPart(old)) {
            if (!replaceFile(backupPath(), old)) return false;
            backedUp = true;
        }
    }

    bool written = false;
    QSaveFile out(target);
    if (out.open(QIODevice::WriteOnly) && out.write(updated) == updated.size() &&
        (!beforeReplace_ || beforeReplace_())) {
        written = out.commit();
    } else {
        out.cancelWriting();
    }

    if (backedUp && notice_) {
        notice_(
            QStringLiteral("Some lines of the settings file %1 could not be read. Quillon "
                           "left them as they are and kept the file as it was in %2.")
                .arg(QDir::toNativeSeparators(iniPath_), QDir::toNativeSeparators(backupPath())));
    }
    return written;
}

void LoadSettings(const SettingsStore& store, StoredSettings& out) {
#ifdef Q_OS_WIN
    if (store.usesRegistry()) {
        if (!store.exists()) return;
        const auto s = openRegistry();
        if (!s) return;
        loadFrom(RegistrySource(*s), out);
        return;
    }
#endif
    const std::optional<QByteArray> text = store.readFile();
    if (!text) return;
    const IniDocument doc(*text);
    loadFrom(IniSource(doc), out);
}

void SaveSettings(const SettingsStore& store, int typeTab, int portNo, int baudIndex,
                  const QString& baudText) {
    store.save({{kType, typeTab},
                {kScanCommNo, portNo},
                {kScanBaudRateNo, baudIndex},
                {kScanBaudRate, baudText}});
}

void SaveLanguage(const SettingsStore& store, const QString& langFlag) {
    store.save({{kLanguageFlag, langFlag}});
}

int LoadChatterLimit(const SettingsStore& store) {
    std::optional<int> n;
#ifdef Q_OS_WIN
    if (store.usesRegistry()) {
        if (!store.exists()) return kDefaultChatterLimit;
        const auto s = openRegistry();
        if (s) n = RegistrySource(*s).intValue(kChatterLimit);
        return n && *n >= 1 && *n <= kMaxChatterLimit ? *n : kDefaultChatterLimit;
    }
#endif
    if (const std::optional<QByteArray> text = store.readFile()) {
        const IniDocument doc(*text);
        n = IniSource(doc).intValue(kChatterLimit);
    }
    return n && *n >= 1 && *n <= kMaxChatterLimit ? *n : kDefaultChatterLimit;
}

void SaveChatterLimit(const SettingsStore& store, int limit) {
    store.save({{kChatterLimit, qBound(1, limit, kMaxChatterLimit)}});
}

QString LoadRegisterSite(const SettingsStore& store) {
    return store.loadText(kRegisterSite);
}

QString SettingsStore::loadText(const QString& name) const {
    const SettingsStore& store = *this;
#ifdef Q_OS_WIN
    if (store.usesRegistry()) {
        if (!store.exists()) return QString();
        const auto s = openRegistry();
        if (!s) return QString();
        return RegistrySource(*s).textValue(name).value_or(QString());
    }
#endif
    const std::optional<QByteArray> text = store.readFile();
    if (!text) return QString();
    const IniDocument doc(*text);
    return IniSource(doc).textValue(name).value_or(QString());
}

void SaveRegisterSite(const SettingsStore& store, const QString& site) {
    store.save({{kRegisterSite, site}});
}

QStringList LoadIoCheckUnasked(const SettingsStore& store) {
    QStringList sites;
    const QJsonDocument doc = QJsonDocument::fromJson(store.loadText(kIoCheckUnasked).toUtf8());
    for (const QJsonValue& v : doc.array())
        if (v.isString()) sites << v.toString();
    return sites;
}

void SaveIoCheckUnasked(const SettingsStore& store, const QStringList& sites) {
    const QJsonDocument doc(QJsonArray::fromStringList(sites));
    store.save({{kIoCheckUnasked, QString::fromUtf8(doc.toJson(QJsonDocument::Compact))}});
}

QString LoadRegisterServer(const SettingsStore& store) {
    return store.loadText(kRegisterServer);
}

void SaveRegisterServer(const SettingsStore& store, const QString& uri) {
    store.save({{kRegisterServer, uri}});
}
