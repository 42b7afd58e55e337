#include "settings/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <optional>

#include "text/messagetable.h"

namespace {

constexpr int kBaudIndexCount = 12;

const QString kType = QStringLiteral("Type");
const QString kScanCommNo = QStringLiteral("ScanCommNo");
const QString kScanBaudRate = QStringLiteral("ScanBaudRate");
const QString kScanBaudRateNo = QStringLiteral("ScanBaudRateNo");
const QString kLanguageFlag = QStringLiteral("LanguageFlag");
const QString kPorts = QStringLiteral("Ports");

#ifdef Q_OS_WIN
const QString kRegistryParent = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\VARNO");
const QString kRegistryKey = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\VARNO\\Quillon");
#else
// $XDG_CONFIG_HOME when set and non-empty, else ~/.config. Looked up on every call, so that a
// change of the environment (as tests make) takes effect.
QString configDir() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty()) return xdg;
    return QDir::homePath() + QStringLiteral("/.config");
}
#endif

// A value that a 32-bit integer must hold. The registry gives a DWORD as an integer variant;
// an INI file gives text, which must be a decimal int32. Anything else is a type error.
std::optional<int> toInt32(const QVariant& v, bool iniText) {
    switch (v.typeId()) {
        case QMetaType::Int:
            return v.toInt();
        case QMetaType::UInt:
            // A DWORD holds the bits of a signed value: 0xFFFFFFFF is -1.
            return static_cast<int>(v.toUInt());
        case QMetaType::QString: {
            if (!iniText) return std::nullopt;
            bool ok = false;
            const int n = v.toString().trimmed().toInt(&ok, 10);
            if (!ok) return std::nullopt;
            return n;
        }
        default:
            return std::nullopt;
    }
}

// A value that must be a string. The INI reader splits an unquoted text at its commas
// ("19200,e,8,1" comes back as four items); joining them restores the text as written.
// The text ends at its first zero character, as a registry string does.
std::optional<QString> toText(const QVariant& v, bool iniText) {
    QString text;
    if (v.typeId() == QMetaType::QString) {
        text = v.toString();
    } else if (iniText && v.typeId() == QMetaType::QStringList) {
        text = v.toStringList().join(QLatin1Char(','));
    } else {
        return std::nullopt;
    }
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0) text.truncate(nul);
    return text;
}

}  // namespace

SettingsStore::SettingsStore(const QString& iniPath) : iniPath_(iniPath) {
#ifndef Q_OS_WIN
    if (iniPath_.isEmpty()) iniPath_ = configDir() + QStringLiteral("/VARNO/Quillon.conf");
#endif
}

bool SettingsStore::exists() const {
#ifdef Q_OS_WIN
    if (!iniPath_.isEmpty()) return QFileInfo(iniPath_).isFile();
    QSettings parent(kRegistryParent, QSettings::NativeFormat);
    return parent.childGroups().contains(QStringLiteral("Quillon"), Qt::CaseInsensitive);
#else
    return QFileInfo(iniPath_).isFile();
#endif
}

std::unique_ptr<QSettings> SettingsStore::open() const {
    std::unique_ptr<QSettings> s;
#ifdef Q_OS_WIN
    if (iniPath_.isEmpty())
        s = std::make_unique<QSettings>(kRegistryKey, QSettings::NativeFormat);
    else
        s = std::make_unique<QSettings>(iniPath_, QSettings::IniFormat);
#else
    if (iniPath_.isEmpty()) return nullptr;
    s = std::make_unique<QSettings>(iniPath_, QSettings::IniFormat);
#endif
    if (s->status() != QSettings::NoError) return nullptr;
    return s;
}

QMap<int, QString> SettingsStore::portEntries() const {
    QMap<int, QString> entries;
    if (!exists()) return entries;
    const auto s = open();
    if (!s) return entries;
    const bool ini = s->format() == QSettings::IniFormat;
    static const QRegularExpression comKey(QStringLiteral("^COM([1-9][0-9]{0,8})$"));
    s->beginGroup(kPorts);
    const QStringList keys = s->childKeys();
    for (const QString& key : keys) {
        const QRegularExpressionMatch m = comKey.match(key);
        if (!m.hasMatch()) continue;
        const std::optional<QString> device = toText(s->value(key), ini);
        if (!device || device->trimmed().isEmpty()) continue;
        entries.insert(m.captured(1).toInt(), device->trimmed());
    }
    s->endGroup();
    return entries;
}

void LoadSettings(const SettingsStore& store, StoredSettings& out) {
    const StoredSettings defaults;
    if (!store.exists()) return;
    const auto s = store.open();
    if (!s) return;
    const bool ini = s->format() == QSettings::IniFormat;

    // Each step either takes the stored value, takes the default when the value is missing,
    // or ends the load on a value of the wrong type.
    auto readInt = [&](const QString& name, int fallback, int& field) {
        if (!s->contains(name)) {
            field = fallback;
            return true;
        }
        const std::optional<int> n = toInt32(s->value(name), ini);
        if (!n) return false;
        field = *n;
        return true;
    };
    auto readText = [&](const QString& name, const QString& fallback, QString& field) {
        if (!s->contains(name)) {
            field = fallback;
            return true;
        }
        const std::optional<QString> t = toText(s->value(name), ini);
        if (!t) return false;
        field = *t;
        return true;
    };

    if (!readInt(kType, defaults.typeTab, out.typeTab)) return;
    if (!readInt(kScanCommNo, defaults.portNo, out.portNo)) return;
    if (!readText(kScanBaudRate, defaults.baudText, out.baudText)) return;
    if (!readInt(kScanBaudRateNo, defaults.baudIndex, out.baudIndex)) return;
    // The index selects from the twelve line settings of the window; keep it inside them.
    if (out.baudIndex < 0 || out.baudIndex >= kBaudIndexCount) out.baudIndex = defaults.baudIndex;
    if (!readText(kLanguageFlag, defaults.langFlag, out.langFlag)) return;
    out.langIndex = Languages::indexOfFlag(out.langFlag);
}

void SaveSettings(const SettingsStore& store, int typeTab, int portNo, int baudIndex,
                  const QString& baudText) {
    const auto s = store.open();
    if (!s) return;
    s->setValue(kType, typeTab);
    s->setValue(kScanCommNo, portNo);
    s->setValue(kScanBaudRateNo, baudIndex);
    s->setValue(kScanBaudRate, baudText);
    s->sync();
}

void SaveLanguage(const SettingsStore& store, const QString& langFlag) {
    const auto s = store.open();
    if (!s) return;
    s->setValue(kLanguageFlag, langFlag);
    s->sync();
}
