#include "app/registersyncer.h"

#include <QPointer>

#include "register/serveruri.h"
#include "settings/settings.h"
#include "text/extratexts.h"

RegisterSyncer::RegisterSyncer(const QString& registerPath, const SettingsStore* settings,
                               QObject* parent)
    : QObject(parent), path_(registerPath), settings_(settings) {
    setObjectName(QStringLiteral("registerSyncer"));
    server_ = ChooseServerUri(QString(), settings_ ? LoadRegisterServer(*settings_) : QString());
    sync_ = std::make_unique<BackgroundSync>(path_);
    // Told on the sync's thread; shown on this one, if this object is still there.
    QPointer<RegisterSyncer> self(this);
    const QString path = path_;
    sync_->setDone([self, path](const SyncResult& r) {
        const SyncStatus status = ReadSyncStatus(path);
        QMetaObject::invokeMethod(
            self.data(),
            [self, r, status] {
                if (self) self->done(r, status);
            },
            Qt::QueuedConnection);
    });
    timer_.setInterval(60 * 1000);
    connect(&timer_, &QTimer::timeout, this, &RegisterSyncer::syncNow);
    if (!server_.isEmpty()) timer_.start();
}

RegisterSyncer::~RegisterSyncer() {
    // A sync that runs is waited for; what it tells goes nowhere.
    sync_->setDone(nullptr);
    sync_.reset();
}

bool RegisterSyncer::setServer(const QString& uri, int langIndex, QString* why) {
    const QString trimmed = uri.trimmed();
    if (trimmed == server_) return true;
    if (!trimmed.isEmpty()) {
        const ServerAddress a = ParseServerUri(trimmed);
        if (!a.valid) {
            if (why) *why = ExtraTexts::text(ExtraTexts::kSyncBadUri, langIndex).arg(a.error);
            return false;
        }
        if (a.hasPassword()) {
            if (why) *why = ExtraTexts::text(ExtraTexts::kSyncPasswordRefused, langIndex);
            return false;
        }
    }
    server_ = trimmed;
    if (settings_) SaveRegisterServer(*settings_, server_);
    last_.reset();
    if (server_.isEmpty()) {
        timer_.stop();
    } else {
        timer_.start();
        syncNow();
    }
    emit changed();
    return true;
}

void RegisterSyncer::syncNow() {
    if (server_.isEmpty()) return;
    running_ = true;
    sync_->request(server_);
    emit changed();
}

void RegisterSyncer::refresh() {
    status_ = ReadSyncStatus(path_);
    emit changed();
}

void RegisterSyncer::done(const SyncResult& r, const SyncStatus& status) {
    running_ = sync_->busy();
    last_ = r;
    lastAt_ = QDateTime::currentDateTime();
    status_ = status;
    emit changed();
}

QString RegisterSyncer::describe(const SyncResult& r, int lang) {
    using Kind = ServerProblem::Kind;
    auto t = [lang](int row) { return ExtraTexts::text(row, lang); };
    if (r.local) return r.local.describe();
    switch (r.problem.kind) {
        case Kind::None:
            return QString();
        case Kind::BadUri:
            return t(ExtraTexts::kSyncBadUri).arg(r.problem.detail);
        case Kind::NoDriver:
            return t(ExtraTexts::kSyncNoDriver);
        case Kind::Unreachable:
            return t(ExtraTexts::kSyncUnreachable);
        case Kind::PasswordRefused:
            return t(ExtraTexts::kSyncRefused);
        case Kind::NotInitialised:
            return t(ExtraTexts::kSyncNotInitialised);
        case Kind::Newer:
            return t(ExtraTexts::kSyncNewer);
        case Kind::NoAccess:
            return t(ExtraTexts::kSyncNoAccess);
        case Kind::NoGrant:
            return t(ExtraTexts::kSyncNoGrant).arg(r.refusedSites.join(QStringLiteral(", ")));
        case Kind::Dropped:
            return t(ExtraTexts::kSyncDropped);
        case Kind::Failed:
            break;
    }
    return t(ExtraTexts::kSyncOtherFailure).arg(r.problem.detail);
}

QString RegisterSyncer::statusText(int lang) const {
    auto t = [lang](int row) { return ExtraTexts::text(row, lang); };
    if (server_.isEmpty()) return t(ExtraTexts::kSyncNoServer);
    const QString shown = ParseServerUri(server_).shown;
    if (running_) return t(ExtraTexts::kSyncRunning).arg(shown);
    if (!last_) return t(ExtraTexts::kSyncNever).arg(shown).arg(status_.unsent);
    const QString at = lastAt_.toString(QStringLiteral("HH:mm"));
    if (!last_->ok())
        return t(ExtraTexts::kSyncFailed)
            .arg(shown, at, describe(*last_, lang))
            .arg(status_.unsent);
    return t(ExtraTexts::kSyncDone)
        .arg(shown, last_->role, at)
        .arg(last_->sent)
        .arg(last_->fetched)
        .arg(status_.unsent);
}
