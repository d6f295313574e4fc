#include "MeterPort.h"
#include "MeterSimulator.h"
#include "PortNames.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {
// The meter simulator on a fresh pseudo-terminal.
std::unique_ptr<MeterSimulator> startSimulator(MeterSimulatorOptions options = {})
{
    auto sim = std::make_unique<MeterSimulator>(options);
    QString error;
    if (!sim->start(&error))
        qFatal("cannot start the meter simulator: %s", qPrintable(error));
    return sim;
}
} // namespace

class TestMeterPort : public QObject
{
    Q_OBJECT

private slots:
    void opensTheEntryOfAPseudoTerminal();
    void appliesTheMeterLineSettings();
    void bytesPassUntranslatedBothWays();
    void missingDeviceNamesEntryAndDevice();
    void noEntrySelected_data();
    void noEntrySelected();
    void portInUseSaysSo();
    void permissionDeniedPointsToDialout();
    void failedOpenThenGoodOpen();
    void hangUpIsReportedOnceAndClosesThePort();
};

void TestMeterPort::opensTheEntryOfAPseudoTerminal()
{
    auto sim = startSimulator();
    const std::optional<int> port = PortNames::portNumberForDevice(sim->devicePath());
    if (!port)
        QSKIP("this pseudo-terminal number has no COM entry");

    MeterPort meter;
    QVERIFY2(meter.open(*port), qPrintable(meter.errorString()));
    QVERIFY(meter.isOpen());
    QCOMPARE(meter.portDescription(),
             QStringLiteral("COM %1 (%2)").arg(*port).arg(sim->devicePath()));
    QVERIFY(meter.errorString().isEmpty());
    meter.close();
    QVERIFY(!meter.isOpen());
}

void TestMeterPort::appliesTheMeterLineSettings()
{
    auto sim = startSimulator();
    MeterPort meter;
    QVERIFY2(meter.openDevice(sim->devicePath()), qPrintable(meter.errorString()));

    // Read the settings back from the terminal itself, not from Qt.
    const int fd = ::open(QFile::encodeName(sim->devicePath()).constData(), O_RDONLY | O_NOCTTY);
    QVERIFY(fd >= 0);
    termios tio{};
    QCOMPARE(::tcgetattr(fd, &tio), 0);
    ::close(fd);
    QCOMPARE(cfgetispeed(&tio), speed_t(B9600));
    QCOMPARE(cfgetospeed(&tio), speed_t(B9600));
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), tcflag_t(0));
    QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(tio.c_lflag & (ICANON | ECHO), tcflag_t(0));
}

void TestMeterPort::bytesPassUntranslatedBothWays()
{
    auto sim = startSimulator();
    MeterPort meter;
    QVERIFY(meter.openDevice(sim->devicePath()));

    QByteArray everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte.append(char(b));
    sim->send(everyByte);
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += meter.takeAll()).size() >= 256, 5000);
    QCOMPARE(received, everyByte);
    QVERIFY(meter.takeAll().isEmpty()); // taking empties the buffer

    QCOMPARE(meter.device()->write(QByteArrayLiteral("?M\r\n\x00\xff")), 6);
    QTRY_COMPARE_WITH_TIMEOUT(sim->receivedBytes(), QByteArrayLiteral("?M\r\n\x00\xff"), 5000);
}

void TestMeterPort::missingDeviceNamesEntryAndDevice()
{
#ifdef Q_OS_UNIX
    const int port = 64; // /dev/ttyUSB31
    const QString device = *PortNames::devicePath(port);
    if (QFile::exists(device))
        QSKIP("this machine has the device");
    MeterPort meter;
    QVERIFY(!meter.open(port));
    QVERIFY(!meter.isOpen());
    QCOMPARE(meter.errorString(), "COM 64 (/dev/ttyUSB31): No such file or directory");
#endif
}

void TestMeterPort::noEntrySelected_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("message");
    QTest::newRow("typed text, no entry") << 0 << "No port is selected.";
    QTest::newRow("above the list") << 256 << "There is no port number 256.";
    QTest::newRow("negative") << -3 << "There is no port number -3.";
}

void TestMeterPort::noEntrySelected()
{
    QFETCH(int, port);
    QFETCH(QString, message);
    MeterPort meter;
    QVERIFY(!meter.open(port));
    QVERIFY(!meter.isOpen());
    QVERIFY2(meter.errorString().startsWith(message), qPrintable(meter.errorString()));
}

void TestMeterPort::portInUseSaysSo()
{
    auto sim = startSimulator();
    MeterPort first;
    QVERIFY(first.openDevice(sim->devicePath(), "COM 200"));
    MeterPort second;
    QVERIFY(!second.openDevice(sim->devicePath(), "COM 200"));
    QCOMPARE(second.errorString(),
             QStringLiteral("COM 200 (%1): the port is in use by another program. Close that "
                            "program, or choose another port.")
                 .arg(sim->devicePath()));
    QVERIFY(first.isOpen());
}

void TestMeterPort::permissionDeniedPointsToDialout()
{
    if (::geteuid() == 0)
        QSKIP("root may open any device; the permission message needs an ordinary user");
    auto sim = startSimulator();
    const QByteArray path = QFile::encodeName(sim->devicePath());
    QCOMPARE(::chmod(path.constData(), 0), 0);
    MeterPort meter;
    QVERIFY(!meter.openDevice(sim->devicePath(), "COM 130"));
    QVERIFY2(meter.errorString().contains("Permission denied") &&
                 meter.errorString().contains("\"dialout\" group"),
             qPrintable(meter.errorString()));
}

void TestMeterPort::failedOpenThenGoodOpen()
{
    auto sim = startSimulator();
    MeterPort meter;
    QSignalSpy failures(&meter, &MeterPort::failed);
    QVERIFY(!meter.open(0));
    QVERIFY(meter.openDevice(sim->devicePath()));
    QVERIFY(meter.isOpen());
    QVERIFY(meter.errorString().isEmpty());
    QCOMPARE(failures.count(), 0);
}

void TestMeterPort::hangUpIsReportedOnceAndClosesThePort()
{
    auto sim = startSimulator();
    MeterPort meter;
    QVERIFY(meter.openDevice(sim->devicePath(), "COM 140"));
    QSignalSpy failures(&meter, &MeterPort::failed);

    sim->hangUp(); // the cable is pulled
    QTRY_COMPARE_WITH_TIMEOUT(failures.count(), 1, 5000);
    QVERIFY(!meter.isOpen());
    const QString message = failures.first().first().toString();
    QVERIFY2(message.startsWith(QStringLiteral("The connection to the meter on COM 140 (%1) failed")
                                    .arg(sim->devicePath())),
             qPrintable(message));
    QVERIFY(message.contains("\"Set Port\""));

    // A dead line must not keep reporting.
    QTest::qWait(300);
    QCOMPARE(failures.count(), 1);
    QVERIFY(!meter.device()->isOpen());
    QVERIFY(meter.takeAll().isEmpty());

    // Plugged in again, the same port object opens and works.
    auto again = startSimulator();
    QVERIFY(meter.openDevice(again->devicePath()));
    QCOMPARE(meter.device()->write("?M\r"), 3);
    QByteArray reply;
    QTRY_VERIFY_WITH_TIMEOUT((reply += meter.takeAll()).endsWith("\r"), 5000);
    QVERIFY(reply.startsWith("?M"));
}

QTEST_GUILESS_MAIN(TestMeterPort)
#include "tst_meterport.moc"
