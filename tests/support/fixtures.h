// SPDX-License-Identifier: MIT
#pragma once

#include "platform/filemove.h"
#include "platform/renamefile.h"
#include "services/shell.h"

#include <QDir>
#include <QEvent>
#include <QObject>

// Counts the events of one type that reach the objects it filters.
class EventCounter : public QObject
{
public:
    EventCounter(QEvent::Type type, int& count) : m_type(type), m_count(count) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == m_type)
            ++m_count;
        return false;
    }

private:
    QEvent::Type m_type;
    int& m_count;
};

// A home-page draw that always comes up the same.
class FixedRandom : public RandomSource
{
public:
    explicit FixedRandom(int value = 1) : m_value(value) {}
    int draw1to100() override { return m_value; }

private:
    int m_value;
};

// Takes the copy and rename fault hooks away when the test step ends, however it ends.
struct FaultHookReset
{
    ~FaultHookReset()
    {
        setCopyFaultHook({});
        setRenameFaultHook({});
    }
};

// For list operations run straight through, without yielding.
inline void noYield() {}

// Descriptors this process holds open now: folders a walk leaves open show up here.
inline int openDescriptorCount()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::System | QDir::NoDotAndDotDot).size());
}

// Threads of this process now: readers a walk leaves behind show up here.
inline int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}
