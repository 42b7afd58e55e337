#pragma once
// The keyboard and the screen reader for any window of the program: each button's shortcut
// from the table of its language (with a tooltip that names it), labels tied to the controls
// they caption, and names in the window's language for the controls no label captions. Value
// panels and state circles get accessible interfaces of their own that say what they show.

#include <QLabel>
#include <QString>
#include <functional>

// A label that shows a value (a serial number, a status): a screen reader hears the name the
// tables give it, and its text as the value.
class ValuePanel : public QLabel {
    Q_OBJECT
  public:
    explicit ValuePanel(QWidget* parent = nullptr);
};

namespace Access {

// Once per program, before the first window is built: the interfaces of panels and circles.
void installFactory();

// Applies the shortcuts, tooltips, buddies and names of language `langIndex` to `window`'s
// controls (those of the windows it owns are theirs to apply). Safe to call again, on every
// change of language.
void apply(QWidget* window, int langIndex);

// Applies them to `main` and, as each is first shown, to every window it owns, in the
// language that `langIndex` gives at that moment.
void follow(QWidget* main, std::function<int()> langIndex);

}  // namespace Access
