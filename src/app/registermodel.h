#pragma once
// The modules of the Register window as a table model: every module of the register, of which
// the filter shows those that match. A view asks only for the rows it paints, so a register of
// ten thousand modules filters as fast as the matching itself.

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>
#include <QVector>

#include "register/registerreader.h"

class RegisterModulesModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { Type, Serial, Version, Id, Line, Port, Site, LastSeen, LastTest, Columns };

    explicit RegisterModulesModel(QObject* parent = nullptr);

    // Every module; the filter stays.
    void setModules(QList<RegisterModule> modules);
    void setFilter(const QString& text);
    void setHeaders(const QStringList& headers);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The module of a shown row; null outside them.
    const RegisterModule* module(int row) const;
    // The shown row of a module, -1 when it is not shown.
    int rowOf(qint64 key) const;
    int total() const { return static_cast<int>(all_.size()); }
    QList<RegisterModule> shown() const;

    // A cell's text as the table shows it.
    static QString cell(const RegisterModule& module, int column);

  private:
    void refilter();

    QList<RegisterModule> all_;
    QVector<int> shown_;
    RegisterFilter filter_;
    QStringList headers_;
};
