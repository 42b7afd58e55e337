#pragma once
// The keyboard shortcut of every button of the window and its tool windows, one column per
// language (0 English, 1 Simplified Chinese, 2 Traditional Chinese). Keys are written as Qt's
// portable key texts ("Alt+S"). The buttons' own texts stay as they are: no "&" is added.
// Buttons shown together never share a key: the type tabs take Ctrl+1..6, the menus keep
// Alt+F and Alt+L.

#include <QString>

namespace Shortcuts {

// The key of the control `objectName` in language 0..2 (English for any other index); empty
// when the control has none.
QString key(const QString& objectName, int langIndex);

}  // namespace Shortcuts
