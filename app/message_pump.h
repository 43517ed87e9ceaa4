#pragma once
// Long steps run on the window's thread and keep the window alive by
// dispatching its pending messages between items. The window pumps Qt's event
// queue; the headless front end and tests have their own pumps.

namespace qvr {

class IMessagePump {
public:
    virtual ~IMessagePump() = default;
    // Removes and dispatches every pending message (input, timers, paint).
    virtual void PumpMessages() = 0;
    // Removes and dispatches pending paint messages only.
    virtual void PumpPaintMessages() = 0;
};

class NullMessagePump final : public IMessagePump {
public:
    void PumpMessages() override {}
    void PumpPaintMessages() override {}
};

}  // namespace qvr
