#include "ui/qt_message_pump.h"

#include <QCoreApplication>

namespace qvr {

QtMessagePump::QtMessagePump() { m_sinceLastPump.start(); }

void QtMessagePump::PumpMessages() {
    if (m_sinceLastPump.elapsed() < kSliceMs) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sinceLastPump.restart();
}

void QtMessagePump::PumpPaintMessages() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace qvr
