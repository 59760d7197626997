// SPDX-License-Identifier: MIT
// Faults planted on purpose in code of our own, each run from inside Qt's event loop the way a handler runs.
// The instrumented builds run every fault and expect the sanitizer to report it and fail the process: if one
// goes through, an option or a suppression hides real faults.
#include <QApplication>
#include <QLabel>
#include <QThread>
#include <QTimer>

#include <climits>
#include <cstdio>
#include <functional>
#include <map>

namespace {
volatile int sink;
volatile int eight = 8;
volatile int largest = INT_MAX;

void heapOverflow()
{
    char* bytes = new char[8]();
    sink = bytes[eight];
    delete[] bytes;
}

void useAfterFree()
{
    int* value = new int(1);
    delete value;
    sink = *value;
}

void leak()
{
    int* volatile lost = new int[64]();
    sink = lost[1];
    lost = nullptr;
}

void signedOverflow()
{
    sink = largest + eight;
}

void dataRace()
{
    int counter = 0;
    QThread* other = QThread::create([&counter] {
        for (int i = 0; i < 100000; ++i)
            counter = counter + 1;
    });
    other->start();
    for (int i = 0; i < 100000; ++i)
        counter = counter + 1;
    other->wait();
    delete other;
    sink = counter;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString kind = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const std::map<QString, std::function<void()>> faults = {{"heap-overflow", heapOverflow},
                                                             {"use-after-free", useAfterFree},
                                                             {"leak", leak},
                                                             {"signed-overflow", signedOverflow},
                                                             {"data-race", dataRace}};
    if (!faults.count(kind)) {
        std::fprintf(stderr, "usage: canary heap-overflow|use-after-free|leak|signed-overflow|data-race\n");
        return 2;
    }

    // A shown window loads fonts and the platform plugin first, so their allocations are part of every run.
    QLabel label(QStringLiteral("Lentrova"));
    label.show();
    QTimer::singleShot(0, &app, [&] {
        faults.at(kind)();
        app.quit();
    });
    return app.exec();
}
