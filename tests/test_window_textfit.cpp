// No text of any window is cut, in each language, at the scale factor the test runs under
// (CTest runs it at QT_SCALE_FACTOR 2 and 1.5): each label's, button's, check box's and group
// title's text, measured by the control's own font metrics, fits the room its style leaves.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QtTest>

#include "support/everywindow.h"
#include "support/windowfixture.h"

namespace {

// How many pixels of `w`'s text do not fit (0 when it fits), and the text.
int Overflow(QWidget* w, QString& text) {
    const QFontMetrics fm = w->fontMetrics();
    QStyle* style = w->style();
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = text = b->text();
        if (b->autoDefault()) opt.features |= QStyleOptionButton::AutoDefaultButton;
        int room = style->subElementRect(QStyle::SE_PushButtonContents, &opt, b).width();
        if (b->menu()) room -= style->pixelMetric(QStyle::PM_MenuButtonIndicator, &opt, b);
        return qMax(0, fm.horizontalAdvance(text) - room);
    }
    if (auto* c = qobject_cast<QCheckBox*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(c);
        opt.text = text = c->text();
        const QRect room = style->subElementRect(QStyle::SE_CheckBoxContents, &opt, c);
        return qMax(0, fm.horizontalAdvance(text) - room.width());
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        QStyleOptionGroupBox opt;
        opt.initFrom(g);
        opt.text = text = g->title();
        opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect label =
            style->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
        return qMax(0, label.right() - (g->width() - 1));
    }
    if (auto* l = qobject_cast<QLabel*>(w)) {
        text = l->text();
        if (text.isEmpty() || l->textFormat() == Qt::RichText) return 0;
        QRect room =
            l->contentsRect().adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
        const int indent = l->indent() >= 0      ? l->indent()
                           : l->frameWidth() > 0 ? fm.horizontalAdvance(QLatin1Char('x')) / 2
                                                 : 0;
        room.setWidth(room.width() - indent);
        if (l->wordWrap())
            return qMax(0, fm.boundingRect(room, Qt::TextWordWrap, text).height() - room.height());
        return qMax(0, fm.horizontalAdvance(text) - room.width());
    }
    return 0;
}

}  // namespace

class TestWindowTextFit : public QObject {
    Q_OBJECT
  private slots:
    void noTextIsCut();
};

void TestWindowTextFit::noTextIsCut() {
    WindowFixture f;
    TfrmModule& w = f.build();
    const QList<QWidget*> windows = ShowEveryWindow(w);
    QStringList cut;
    auto look = [&](QWidget* window, const QString& where) {
        for (QWidget* c : window->findChildren<QWidget*>()) {
            if (!c->isVisible() || c->window() != window) continue;
            QString text;
            if (const int over = Overflow(c, text))
                cut << QStringLiteral("%1 %2 \"%3\": %4 px too wide")
                           .arg(where, c->objectName(), text)
                           .arg(over);
        }
    };
    for (int lang = 0; lang < 3; ++lang) {
        ChooseLanguage(w, lang);
        const QString in = LanguageName(lang) + QLatin1Char(' ');
        ForEachPage(w, [&](const QString& page) { look(&w, in + page); });
        for (QWidget* t : windows.mid(1)) look(t, in + t->objectName());
    }
    cut.removeDuplicates();
    QVERIFY2(cut.isEmpty(), qPrintable(QStringLiteral("at scale %1:\n").arg(w.devicePixelRatioF()) +
                                       cut.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestWindowTextFit)
#include "test_window_textfit.moc"
