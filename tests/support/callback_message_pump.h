#pragma once
// A pump for tests that counts its calls and runs a hook on each one, so a
// test can act "from inside the window's message loop" (for example click
// Cancel by clearing a busy flag).

#include <functional>

#include "app/message_pump.h"

namespace qvr::testing {

class CallbackMessagePump final : public IMessagePump {
public:
    void PumpMessages() override {
        ++pumpCount;
        if (onPump) onPump();
    }
    void PumpPaintMessages() override { ++paintCount; }

    int pumpCount = 0;
    int paintCount = 0;
    std::function<void()> onPump;
};

}  // namespace qvr::testing
