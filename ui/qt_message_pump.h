#pragma once
// Keeps the window alive during long steps by dispatching Qt's pending events.

#include <QElapsedTimer>

#include "app/message_pump.h"

namespace qvr {

class QtMessagePump final : public IMessagePump {
public:
    QtMessagePump();
    // The workflows pump after every row and every file; dispatching at most
    // once per time slice keeps that cheap while the window still answers
    // many times a second.
    void PumpMessages() override;
    // Paints and timers only: no user input is delivered meanwhile.
    void PumpPaintMessages() override;

    static constexpr qint64 kSliceMs = 10;

private:
    QElapsedTimer m_sinceLastPump;
};

}  // namespace qvr
