// SPDX-License-Identifier: MIT
// The program as built, with each copy chunk held up by LENTROVA_CHUNK_DELAY_MS milliseconds, so that a test
// can end it in the middle of a move or a trash run without gigabytes of data.
#include "platform/filemove.h"

#include <chrono>
#include <thread>

#define main lentrovaMain
#include "app/main.cpp"
#undef main

int main(int argc, char* argv[])
{
    const int delay = qEnvironmentVariableIntValue("LENTROVA_CHUNK_DELAY_MS");
    if (delay > 0)
        setCopyFaultHook([delay](CopyStep step, qint64) {
            if (step == CopyStep::Write)
                std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            return 0;
        });
    return lentrovaMain(argc, argv);
}
