// The screen cursor while the window works: shown until the scope ends, also when the work
// raises an error.
#pragma once

#include <QApplication>
#include <QCursor>

namespace plotwick::app {

class BusyCursor {
public:
    explicit BusyCursor(Qt::CursorShape shape) { QApplication::setOverrideCursor(QCursor(shape)); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace plotwick::app
