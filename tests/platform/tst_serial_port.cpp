#include "platform/serial_port.h"
#include "platform/settings_store.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

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

    int m_master = -1;
    int m_slave = -1;
    QString m_path;
};

void TestSerialPort::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("KARTAX_TEST_SCRATCH"),
             "run through run_test.sh: this test writes the settings file");
}

void TestSerialPort::init()
{
    char name[256] = {};
    QCOMPARE(::openpty(&m_master, &m_slave, name, nullptr, nullptr), 0);
    termios raw{};
    ::tcgetattr(m_slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_slave, TCSANOW, &raw);
    m_path = QString::fromLocal8Bit(name);
    QFile::remove(SettingsStore::defaultPath());
}

void TestSerialPort::cleanup()
{
    ::close(m_slave);
    ::close(m_master);
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

    QByteArray received;
    pollfd fd{m_master, POLLIN, 0};
    while (::poll(&fd, 1, 200) > 0 && received.size() < 5) {
        char buffer[64];
        const ssize_t count = ::read(m_master, buffer, sizeof buffer);
        if (count <= 0)
            break;
        received.append(buffer, count);
    }
    QCOMPARE(received, QByteArray("ATZ\r\n"));
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serial_port.moc"
