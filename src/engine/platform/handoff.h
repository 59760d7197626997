// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <memory>
#include <mutex>

// Hands data between threads through Qt's queued signals in a way ThreadSanitizer can follow. Qt's event
// queue is not instrumented, so without this every queued argument and slot object is reported as a race. The
// sender emits inside send(), which holds a gate across the posting; watch() makes every event delivered to a
// receiver take that gate first, so delivery is ordered after the send that posted it. Call watch() before
// the receiver moves to its thread. Never send a blocking-queued signal through it.
class ThreadHandoff
{
public:
    ThreadHandoff();

    void watch(QObject* receiver);

    template <typename Emit> void send(Emit&& emitSignal)
    {
        std::lock_guard lock(*m_gate);
        emitSignal();
    }

private:
    // Recursive so that a direct connection on the sender's own thread runs its slot inside send().
    std::shared_ptr<std::recursive_mutex> m_gate;
};
