// SPDX-License-Identifier: MIT
#include "platform/handoff.h"

namespace {
class GateFilter : public QObject
{
public:
    GateFilter(std::shared_ptr<std::recursive_mutex> gate, QObject* receiver)
        : QObject(receiver), m_gate(std::move(gate))
    {
    }

    // Takes the gate before looking at the event: the event itself was written inside send().
    bool eventFilter(QObject*, QEvent*) override
    {
        std::lock_guard lock(*m_gate);
        return false;
    }

private:
    std::shared_ptr<std::recursive_mutex> m_gate;
};
} // namespace

ThreadHandoff::ThreadHandoff() : m_gate(std::make_shared<std::recursive_mutex>()) {}

void ThreadHandoff::watch(QObject* receiver)
{
    receiver->installEventFilter(new GateFilter(m_gate, receiver));
}
