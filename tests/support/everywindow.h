#pragma once
// Every window of the program and every page of the main one, for the tests that look at all
// of them (keyboard, screen reader, text fit): a window added to the program joins the list in
// ShowEveryWindow, and those tests cover it.

#include <QList>
#include <QString>
#include <functional>

#include "app/frmmodule.h"

// Shows each tool window of `w` (made on first use) and returns them after `w` itself.
QList<QWidget*> ShowEveryWindow(TfrmModule& w);
// Selects each type tab in turn, then the common page, and calls `visit` with the page shown.
void ForEachPage(TfrmModule& w, const std::function<void(const QString& page)>& visit);
// Switches the window to language 0..2 as its menu does, and lets the layouts settle.
void ChooseLanguage(TfrmModule& w, int langIndex);
// The language's name, for messages.
QString LanguageName(int langIndex);
