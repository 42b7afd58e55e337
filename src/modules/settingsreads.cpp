#include "modules/settingsreads.h"

#include <QComboBox>

void SelectOrNone(QComboBox* list, int index) {
    list->setCurrentIndex(index < list->count() ? index : -1);
}
