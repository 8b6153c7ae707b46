#pragma once
// Waits for a Qt window's whole layout before a test measures or pictures it: a layout asks its
// parent for room by a posted event, so a change deep in nested boxes reaches the window one
// level of nesting a pass.
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>

namespace testsupport {

// More passes than the tests' windows nest deep.
constexpr int kQtLayoutPasses = 8;

inline void settleQtLayouts() {
  for (int pass = 0; pass < kQtLayoutPasses; ++pass) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QApplication::processEvents();
  }
}

}  // namespace testsupport
