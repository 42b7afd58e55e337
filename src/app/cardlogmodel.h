#pragma once
// The cards and keys of the card read test, for the card log: the newest on top, the count
// per channel, and the whole log as CSV. It records whether the log window is open or not.

#include <QAbstractTableModel>
#include <QDateTime>
#include <array>
#include <deque>

#include "engine/testsummary.h"

class CardLogModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // Rows kept; the oldest go first when a long test passes it.
    static constexpr int kMaxRows = 100000;

    explicit CardLogModel(QObject* parent = nullptr);

    // A new test started at `startedUtc`: the log is emptied.
    void start(const QDateTime& startedUtc);
    void add(const CardRead& card);
    // Cards and keys of channel 1 or 2 since the test started, those no longer kept included.
    int count(int channel) const { return counts_[channel == 2 ? 1 : 0]; }
    const CardRead& read(int row) const;
    void setLanguage(int langIndex);

    // "ms,time,channel,card_decimal,card_hex,key", oldest first.
    QByteArray csv() const;
    bool saveCsv(const QString& path, QString* error) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  signals:
    void countsChanged();

  private:
    QDateTime timeOf(const CardRead& card) const;

    std::deque<CardRead> reads_;  // oldest first; row 0 is the newest
    std::array<int, 2> counts_{};
    QDateTime started_;
    int langIndex_ = 0;
};
