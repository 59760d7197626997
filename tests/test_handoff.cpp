// SPDX-License-Identifier: MIT
#include "platform/handoff.h"
#include "support/testmain.h"

#include <QEventLoop>
#include <QThread>

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

namespace {
using Batch = std::shared_ptr<const std::vector<int>>;
using Clock = std::chrono::steady_clock;

class Producer : public QObject
{
    Q_OBJECT
public:
    ThreadHandoff handoff;
    std::atomic<bool> stop{false};
    std::atomic<Clock::rep> sendEnded{0};

    void produce(int batches, int rowsPerBatch)
    {
        for (int b = 0; b < batches && !stop.load(); ++b) {
            auto rows = std::make_shared<std::vector<int>>();
            for (int i = 0; i < rowsPerBatch; ++i)
                rows->push_back(b * rowsPerBatch + i);
            handoff.send([&] { emit found(rows); });
        }
        handoff.send([&] { emit finished(); });
    }

    // Emits, then keeps the send open for a while, so that a delivery that does not wait shows.
    void slowSend()
    {
        handoff.send([&] {
            emit found(std::make_shared<std::vector<int>>(1, 7));
            QThread::msleep(150);
            sendEnded = Clock::now().time_since_epoch().count();
        });
    }

signals:
    void found(Batch rows);
    void finished();
};

struct WorkerFixture
{
    QThread thread;
    Producer producer;
    QObject receiver;

    WorkerFixture()
    {
        producer.handoff.watch(&producer);
        producer.handoff.watch(&receiver);
        producer.moveToThread(&thread);
        thread.start();
    }
    ~WorkerFixture()
    {
        thread.quit();
        thread.wait();
    }
};
} // namespace

class TestHandoff : public QObject
{
    Q_OBJECT

private slots:
    void deliversEveryRowInOrder()
    {
        WorkerFixture f;
        std::vector<int> received;
        QEventLoop loop;
        connect(&f.producer, &Producer::found, &f.receiver,
                [&](const Batch& rows) { received.insert(received.end(), rows->begin(), rows->end()); });
        connect(&f.producer, &Producer::finished, &f.receiver, [&] { loop.quit(); });
        f.producer.handoff.send([&] {
            QMetaObject::invokeMethod(
                &f.producer, [&] { f.producer.produce(400, 50); }, Qt::QueuedConnection);
        });
        loop.exec();
        QCOMPARE(received.size(), size_t(20000));
        for (int i = 0; i < int(received.size()); ++i)
            QCOMPARE(received[i], i);
    }

    void deliveryWaitsForTheSendToEnd()
    {
        WorkerFixture f;
        Clock::rep slotRan = 0;
        int value = 0;
        QEventLoop loop;
        connect(&f.producer, &Producer::found, &f.receiver, [&](const Batch& rows) {
            slotRan = Clock::now().time_since_epoch().count();
            value = rows->front();
            loop.quit();
        });
        f.producer.handoff.send([&] {
            QMetaObject::invokeMethod(
                &f.producer, [&] { f.producer.slowSend(); }, Qt::QueuedConnection);
        });
        loop.exec();
        QCOMPARE(value, 7);
        QVERIFY(f.producer.sendEnded.load() != 0);
        QVERIFY(slotRan >= f.producer.sendEnded.load());
    }

    void directConnectionRunsInsideSend()
    {
        Producer producer;
        QObject receiver;
        producer.handoff.watch(&receiver);
        int rows = 0;
        connect(&producer, &Producer::found, &receiver,
                [&](const Batch& batch) { rows += int(batch->size()); });
        producer.produce(3, 4);
        QCOMPARE(rows, 12);
    }
};

LENTROVA_TEST_MAIN(TestHandoff)
#include "test_handoff.moc"
