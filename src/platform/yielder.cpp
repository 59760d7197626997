// SPDX-License-Identifier: MIT
#include "platform/yielder.h"

#include <QCoreApplication>

void Yielder::now()
{
    QCoreApplication::processEvents();
    m_clock.restart();
}
