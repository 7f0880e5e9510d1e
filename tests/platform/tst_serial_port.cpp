#include "platform/serial_port.h"
#include "platform/settings_store.h"
#include "support/pseudo_terminal.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Serial devices: the names' mapping through the settings store and the exclusive
// open of device files.
class TestSerialPort final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void devicePathDefaults_data();
    void devicePathDefaults();
    void devicePathFromSettings();
    void openRefusesWhatIsNoSerialDevice_data();
    void openRefusesWhatIsNoSerialDevice();
    void openIsExclusive();
    void writeReportsTheBytesWritten();

private:
    void writePortValue(const QString &name, const QVariant &value);

    std::unique_ptr<PseudoTerminal> m_terminal;
    QString m_path;
};

void TestSerialPort::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("KARTAX_TEST_SCRATCH"),
             "run through run_test.sh: this test writes the settings file");
}

void TestSerialPort::init()
{
    m_terminal = std::make_unique<PseudoTerminal>();
    QVERIFY(m_terminal->isOpen());
    m_path = m_terminal->path();
    QFile::remove(SettingsStore::defaultPath());
}

void TestSerialPort::cleanup()
{
    m_terminal.reset();
}

void TestSerialPort::writePortValue(const QString &name, const QVariant &value)
{
    QSettings ini(SettingsStore::defaultPath(), QSettings::IniFormat);
    ini.setValue(QStringLiteral("Kax/Porty/") + name, value);
}

void TestSerialPort::devicePathDefaults_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("path");
    QTest::newRow("COM1") << "COM1"
                          << "/dev/ttyS0";
    QTest::newRow("COM2") << "COM2"
                          << "/dev/ttyS1";
    QTest::newRow("COM5") << "COM5"
                          << "/dev/ttyS4";
    QTest::newRow("COM0") << "COM0"
                          << "";
    QTest::newRow("LPT1") << "LPT1"
                          << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestSerialPort::devicePathDefaults()
{
    QFETCH(QString, port);
    QFETCH(QString, path);
    QCOMPARE(SerialPort::devicePath(port), path);
}

void TestSerialPort::devicePathFromSettings()
{
    writePortValue(QStringLiteral("com3"), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(SerialPort::devicePath(QStringLiteral("COM3")), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(SerialPort::devicePath(QStringLiteral("COM4")), QStringLiteral("/dev/ttyS3"));

    // A value of another type names no device, so the port is unavailable.
    writePortValue(QStringLiteral("COM4"), QStringList({"a", "b"}));
    QCOMPARE(SerialPort::devicePath(QStringLiteral("COM4")), QString());
    QCOMPARE(SerialPort::open(QStringLiteral("COM4")), SerialPort::InvalidHandle);

    writePortValue(QStringLiteral("COM2"), m_path);
    const int handle = SerialPort::open(QStringLiteral("COM2"));
    QVERIFY(handle != SerialPort::InvalidHandle);
    SerialPort::close(handle);
}

void TestSerialPort::openRefusesWhatIsNoSerialDevice_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("directory") << "directory";
    QTest::newRow("regular file") << "file";
    QTest::newRow("empty path") << "empty";
}

void TestSerialPort::openRefusesWhatIsNoSerialDevice()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString path;
    if (kind == QLatin1String("missing")) {
        path = dir.filePath(QStringLiteral("ttyS9"));
    } else if (kind == QLatin1String("directory")) {
        path = dir.path();
    } else if (kind == QLatin1String("file")) {
        path = dir.filePath(QStringLiteral("modem"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QString error;
    QCOMPARE(SerialPort::openDevice(path, &error), SerialPort::InvalidHandle);
    QVERIFY(!error.isEmpty());
    if (kind == QLatin1String("file"))
        QCOMPARE(QFileInfo(path).size(), 0);
}

void TestSerialPort::openIsExclusive()
{
    const int first = SerialPort::openDevice(m_path);
    QVERIFY(first != SerialPort::InvalidHandle);
    QString error;
    QCOMPARE(SerialPort::openDevice(m_path, &error), SerialPort::InvalidHandle);
    QVERIFY(!error.isEmpty());
    SerialPort::close(first);
    const int again = SerialPort::openDevice(m_path);
    QVERIFY(again != SerialPort::InvalidHandle);
    SerialPort::close(again);
    SerialPort::close(SerialPort::InvalidHandle); // ignored
}

void TestSerialPort::writeReportsTheBytesWritten()
{
    const int handle = SerialPort::openDevice(m_path);
    QVERIFY(handle != SerialPort::InvalidHandle);
    QCOMPARE(SerialPort::write(handle, QByteArray("ATZ\r\n")), 5);
    QCOMPARE(SerialPort::write(SerialPort::InvalidHandle, QByteArray("ATZ")), 0);
    SerialPort::close(handle);

    QCOMPARE(m_terminal->received(200), QByteArray("ATZ\r\n"));
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serial_port.moc"
