// SPDX-License-Identifier: MIT
// Stands in for a file manager on the session bus: records every ShowItems call, one line per URI followed by
// a line "startup:<id>", in the file named by the first argument. With --fail it answers every call with an
// error, as a file manager that cannot show the item does.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QFile>
#include <QStringList>

#include <cstdio>

class FakeFileManager : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    FakeFileManager(QString record, bool fail) : m_record(std::move(record)), m_fail(fail) {}

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        QFile out(m_record);
        if (out.open(QIODevice::Append)) {
            for (const QString& uri : uris)
                out.write(uri.toUtf8() + '\n');
            out.write("startup:" + startupId.toUtf8() + '\n');
        }
        if (m_fail)
            sendErrorReply(QDBusError::Failed, QStringLiteral("cannot show that"));
    }

private:
    QString m_record;
    bool m_fail;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
        return 2;
    FakeFileManager manager(args.at(1), args.contains(QStringLiteral("--fail")));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.FileManager1"))) {
        std::fprintf(stderr, "cannot register: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    return app.exec();
}

#include "fakefilemanager.moc"
