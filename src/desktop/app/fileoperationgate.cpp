// SPDX-License-Identifier: MIT
#include "app/fileoperationgate.h"

#include "fileops/operationprogress.h"

QString FileOperationGate::busyText()
{
    return QStringLiteral("Wait until the current operation on the files has ended.");
}

FileOperationGate::Hold::Hold(FileOperationGate& gate, QWidget* window)
    : m_gate(gate), m_closeWatcher(window, [this] { windowClosed(); })
{
    m_gate.m_held = true;
}

FileOperationGate::Hold::~Hold()
{
    m_deadline.reset();
    m_gate.m_held = false;
}

void FileOperationGate::Hold::watch(const FileOperationProgress& progress)
{
    m_lifeSign = progress.lifeSign();
    // A window closed before the work began: the deadline now follows it.
    if (m_deadline) {
        m_deadline.reset();
        m_deadline.emplace(EndAfterClose, m_lifeSign);
    }
}

void FileOperationGate::Hold::windowClosed()
{
    if (m_gate.m_endsProgram && !m_deadline)
        m_deadline.emplace(EndAfterClose, m_lifeSign);
}
