// SPDX-License-Identifier: MIT
#pragma once

#include "app/closewatcher.h"
#include "services/enddeadline.h"

#include <QString>

#include <chrono>
#include <optional>

class FileOperationProgress;
class QWidget;

// One operation at a time on the files of checked rows: a trash, a move, a shortening or its undo each
// changes what the rows name, so one begun while another yields would work from rows that no longer hold (a
// trash of files being renamed finds none of them). The operations take the gate for their whole length,
// questions and pickers included, and the others are refused meanwhile.
class FileOperationGate
{
public:
    // Once the window has closed, how long an operation may go without a sign of life before the program
    // ends without it: a file in hand on a dead share would otherwise keep it running, windowless, for ever.
    static constexpr std::chrono::milliseconds EndAfterClose{3000};

    // endsProgram: closing the window ends the program (a test window's close does not, and there the
    // deadline would end the test).
    explicit FileOperationGate(bool endsProgram) : m_endsProgram(endsProgram) {}

    // The message for an operation asked for while another runs.
    static QString busyText();
    bool busy() const { return m_held; }

    // Held by a running operation. Closing the window meanwhile, where that ends the program, arms the end
    // deadline, which the operation's
    // progress keeps off while it moves and which the end of the hold disarms.
    class Hold
    {
    public:
        Hold(FileOperationGate& gate, QWidget* window);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        // The progress of the work under way, read for signs of life; call before it can block.
        void watch(const FileOperationProgress& progress);

    private:
        void windowClosed();

        FileOperationGate& m_gate;
        EndDeadline::LifeSign m_lifeSign;
        std::optional<EndDeadline> m_deadline;
        CloseWatcher m_closeWatcher;
    };

private:
    bool m_endsProgram;
    bool m_held = false;
};
