// SPDX-License-Identifier: MIT
#include "services/yielder.h"

#include <QCoreApplication>

void Yielder::now()
{
    QCoreApplication::processEvents();
    m_clock.restart();
}
