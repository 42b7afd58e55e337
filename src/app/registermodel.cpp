#include "app/registermodel.h"

RegisterModulesModel::RegisterModulesModel(QObject* parent) : QAbstractTableModel(parent) {}

void RegisterModulesModel::setModules(QList<RegisterModule> modules) {
    beginResetModel();
    all_ = std::move(modules);
    refilter();
    endResetModel();
}

void RegisterModulesModel::setFilter(const QString& text) {
    beginResetModel();
    filter_ = ParseRegisterFilter(text);
    refilter();
    endResetModel();
}

void RegisterModulesModel::setHeaders(const QStringList& headers) {
    headers_ = headers;
    emit headerDataChanged(Qt::Horizontal, 0, Columns - 1);
}

void RegisterModulesModel::refilter() {
    shown_.clear();
    shown_.reserve(all_.size());
    for (int i = 0; i < all_.size(); ++i)
        if (Matches(all_.at(i), filter_)) shown_.append(i);
}

int RegisterModulesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int RegisterModulesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

QString RegisterModulesModel::cell(const RegisterModule& m, int column) {
    switch (column) {
        case Type:
            return m.facts.type;
        case Serial:
            return m.facts.serial;
        case Version:
            return m.facts.version;
        case Id:
            return m.facts.id < 0 ? QString()
                                  : QStringLiteral("%1").arg(m.facts.id, 2, 10, QLatin1Char('0'));
        case Line:
            return m.facts.line;
        case Port:
            return m.facts.port;
        case Site:
            return m.site;
        case LastSeen:
            return m.lastSeen.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        case LastTest:
            return m.lastTest;
        default:
            return QString();
    }
}

QVariant RegisterModulesModel::data(const QModelIndex& index, int role) const {
    const RegisterModule* m = module(index.row());
    if (!m) return QVariant();
    if (role == Qt::DisplayRole) return cell(*m, index.column());
    // A site or serial that holds line breaks shows on one line; the tip shows it whole.
    if (role == Qt::ToolTipRole && (index.column() == Site || index.column() == Serial))
        return cell(*m, index.column());
    return QVariant();
}

QVariant RegisterModulesModel::headerData(int section, Qt::Orientation orientation,
                                          int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
    return headers_.value(section);
}

const RegisterModule* RegisterModulesModel::module(int row) const {
    if (row < 0 || row >= shown_.size()) return nullptr;
    return &all_.at(shown_.at(row));
}

int RegisterModulesModel::rowOf(qint64 key) const {
    for (int r = 0; r < shown_.size(); ++r)
        if (all_.at(shown_.at(r)).key == key) return r;
    return -1;
}

QList<RegisterModule> RegisterModulesModel::shown() const {
    QList<RegisterModule> out;
    for (int i : shown_) out << all_.at(i);
    return out;
}
