#pragma once
// A row of flat tab buttons over a set of pages, where no tab need be active: the module type
// selector. Setting the index from code emits nothing; a click by the user emits `changed`.

#include <QList>
#include <QWidget>

class QToolButton;

class PageControl : public QWidget {
    Q_OBJECT
  public:
    explicit PageControl(QWidget* parent = nullptr);

    // Adds an (empty) page with the object name `name` and a tab with `caption`.
    QWidget* addPage(const QString& name, const QString& caption);
    int count() const { return pages_.size(); }
    QWidget* page(int index) const { return pages_.value(index); }
    // -1 when no tab is active.
    int currentIndex() const { return current_; }
    void setCurrentIndex(int index);
    // Acts as a click of the user on tab `index`.
    void clickTab(int index);
    QToolButton* tabButton(int index) const { return buttons_.value(index); }

  signals:
    void changed();

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void layoutTabs();

    QList<QWidget*> pages_;
    QList<QToolButton*> buttons_;
    int current_ = -1;
};
