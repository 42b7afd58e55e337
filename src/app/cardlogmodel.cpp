#include "app/cardlogmodel.h"

#include <QSaveFile>

#include "text/csvfield.h"
#include "text/extratexts.h"

CardLogModel::CardLogModel(QObject* parent) : QAbstractTableModel(parent) {}

void CardLogModel::start(const QDateTime& startedUtc) {
    beginResetModel();
    reads_.clear();
    counts_ = {};
    started_ = startedUtc;
    endResetModel();
    emit countsChanged();
}

void CardLogModel::add(const CardRead& card) {
    if (static_cast<int>(reads_.size()) >= kMaxRows) {
        const int last = static_cast<int>(reads_.size()) - 1;
        beginRemoveRows(QModelIndex(), last, last);
        reads_.pop_front();
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), 0, 0);
    reads_.push_back(card);
    endInsertRows();
    ++counts_[card.channel == 2 ? 1 : 0];
    emit countsChanged();
}

const CardRead& CardLogModel::read(int row) const {
    return reads_[reads_.size() - 1 - static_cast<size_t>(row)];
}

void CardLogModel::setLanguage(int langIndex) {
    langIndex_ = langIndex;
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

QDateTime CardLogModel::timeOf(const CardRead& card) const {
    return started_.addMSecs(card.ms).toLocalTime();
}

int CardLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(reads_.size());
}

int CardLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 5;
}

QVariant CardLogModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    const CardRead& c = read(index.row());
    switch (index.column()) {
        case 0:
            return timeOf(c).toString(QStringLiteral("HH:mm:ss.zzz"));
        case 1:
            return QStringLiteral("CH #%1").arg(c.channel);
        case 2:
            return c.key ? QString() : c.decimal;
        case 3:
            return c.hex;
        case 4:
            return c.keys;
    }
    return {};
}

QVariant CardLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    return ExtraTexts::text(ExtraTexts::kCardLogColumns, langIndex_)
        .split(QLatin1Char('|'))
        .value(section);
}

QByteArray CardLogModel::csv() const {
    // A text from the module that a spreadsheet would take for a formula is kept as text.
    QString out = CsvLine({QStringLiteral("ms"), QStringLiteral("time"), QStringLiteral("channel"),
                           QStringLiteral("card_decimal"), QStringLiteral("card_hex"),
                           QStringLiteral("key")});
    for (const CardRead& c : reads_) {
        out += CsvLine({QString::number(c.ms),
                        timeOf(c).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")),
                        QString::number(c.channel), c.key ? QString() : c.decimal, c.hex, c.keys});
    }
    return out.toUtf8();
}

bool CardLogModel::saveCsv(const QString& path, QString* error) const {
    QSaveFile f(path);
    const QByteArray text = csv();
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size() || !f.commit()) {
        if (error) *error = f.errorString();
        return false;
    }
    return true;
}
