#include "PortNames.h"

#include <QTest>

class TestPortNames : public QObject
{
    Q_OBJECT

private slots:
    void listHoldsCom1ToCom255();
    void deviceOfEntry_data();
    void deviceOfEntry();
    void everyEntryMapsBackToItself();
    void devicesWithoutAnEntry_data();
    void devicesWithoutAnEntry();
};

void TestPortNames::listHoldsCom1ToCom255()
{
    const QStringList list = PortNames::portList();
    QCOMPARE(list.size(), 255);
    QCOMPARE(list.first(), "COM 1");
    QCOMPARE(list.at(6), "COM 7"); // the seventh entry is port 7
    QCOMPARE(list.last(), "COM 255");
    for (int k = 0; k < list.size(); ++k)
        QCOMPARE(list.at(k), QStringLiteral("COM %1").arg(k + 1));
}

void TestPortNames::deviceOfEntry_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("device");
#ifdef Q_OS_WIN
    QTest::newRow("COM 1") << 1 << "COM1";
    QTest::newRow("COM 255") << 255 << "COM255";
#else
    QTest::newRow("COM 1") << 1 << "/dev/ttyS0";
    QTest::newRow("COM 32") << 32 << "/dev/ttyS31";
    QTest::newRow("COM 33") << 33 << "/dev/ttyUSB0";
    QTest::newRow("COM 64") << 64 << "/dev/ttyUSB31";
    QTest::newRow("COM 65") << 65 << "/dev/ttyACM0";
    QTest::newRow("COM 96") << 96 << "/dev/ttyACM31";
    QTest::newRow("COM 97") << 97 << "/dev/rfcomm0";
    QTest::newRow("COM 128") << 128 << "/dev/rfcomm31";
    QTest::newRow("COM 129") << 129 << "/dev/pts/0";
    QTest::newRow("COM 255") << 255 << "/dev/pts/126";
#endif
    QTest::newRow("no entry selected") << 0 << QString();
    QTest::newRow("below the list") << -1 << QString();
    QTest::newRow("above the list") << 256 << QString();
}

void TestPortNames::deviceOfEntry()
{
    QFETCH(int, port);
    QFETCH(QString, device);
    QCOMPARE(PortNames::devicePath(port).value_or(QString()), device);
}

void TestPortNames::everyEntryMapsBackToItself()
{
    for (int port = PortNames::FirstPort; port <= PortNames::LastPort; ++port) {
        const std::optional<QString> device = PortNames::devicePath(port);
        QVERIFY(device);
        QCOMPARE(PortNames::portNumberForDevice(*device), std::optional<int>(port));
    }
}

void TestPortNames::devicesWithoutAnEntry_data()
{
    QTest::addColumn<QString>("device");
    QTest::newRow("pts beyond the list") << "/dev/pts/127";
    QTest::newRow("ttyS beyond its range") << "/dev/ttyS32";
    QTest::newRow("leading zero") << "/dev/ttyS01";
    QTest::newRow("sign") << "/dev/ttyUSB+1";
    QTest::newRow("no number") << "/dev/ttyACM";
    QTest::newRow("trailing text") << "/dev/ttyUSB0x";
    QTest::newRow("other device") << "/dev/null";
    QTest::newRow("empty") << "";
}

void TestPortNames::devicesWithoutAnEntry()
{
    QFETCH(QString, device);
    QCOMPARE(PortNames::portNumberForDevice(device), std::nullopt);
}

QTEST_APPLESS_MAIN(TestPortNames)
#include "tst_portnames.moc"
