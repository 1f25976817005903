// The hourglass cursor for the length of an action: shown when the guard is made, the cursor
// of before put back when it goes, on every way out of the action.
#pragma once

#include <QApplication>

namespace holvane {

class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace holvane
