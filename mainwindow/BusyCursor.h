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

// The ordinary pointer over a question asked in the middle of a busy action, the busy cursor
// back when the question is answered.
class NormalCursor {
public:
    NormalCursor() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~NormalCursor() { QApplication::restoreOverrideCursor(); }
    NormalCursor(const NormalCursor&) = delete;
    NormalCursor& operator=(const NormalCursor&) = delete;
};

}  // namespace holvane
