#pragma once

#include <QObject>
#include <QString>

// Modem dialler: opens a serial port, optionally initialises the modem, asks the
// user to confirm the number, dials it by tone or pulse and hangs up so that the
// handset takes over the line. It never reads the modem's answers.
class TTelefon final : public QObject
{
    Q_OBJECT
    Q_PROPERTY(TCPort CPort READ CPort WRITE setCPort)
    Q_PROPERTY(QString InitStr READ InitStr WRITE setInitStr)
    Q_PROPERTY(TDMethod DMethod READ DMethod WRITE setDMethod)
    Q_PROPERTY(QString TelNumber READ TelNumber WRITE setTelNumber)

public:
    enum TCPort : quint8 { COM1, COM2, COM3, COM4, COM5 };
    Q_ENUM(TCPort)
    enum TDMethod : quint8 { dmTone, dmPulse };
    Q_ENUM(TDMethod)

    explicit TTelefon(QObject *owner = nullptr);
    // Releases a port left open by a completed call; sends nothing to the modem.
    ~TTelefon() override;
    Q_DISABLE_COPY_MOVE(TTelefon)

    TCPort CPort() const { return m_CPort; }
    void setCPort(TCPort port) { m_CPort = port; }
    QString InitStr() const { return m_InitStr; }
    void setInitStr(const QString &text) { m_InitStr = text; }
    TDMethod DMethod() const { return m_DMethod; }
    void setDMethod(TDMethod method) { m_DMethod = method; }
    QString TelNumber() const { return m_TelNumber; }
    void setTelNumber(const QString &number) { m_TelNumber = number; }
    // The open port's handle, or -1 when no port is open.
    qint32 PortHandle() const { return m_PortHandle; }

    // Places a call with the port, method, number and initialisation string as
    // they stand and reports every failure to the user. True when the number was
    // dialled: false when the port failed, the user declined or a command failed.
    bool Dial();
    // Opens the port named by CPort, releasing one left open first; asks to retry
    // while it cannot be opened. True when a port is open afterwards.
    bool OpenPort();
    // Writes the text in one write call; true when every byte was written.
    bool SendCommand(const QString &text);
    // Releases the port if one is open.
    void ClosePort();

    // The port name for a port: "COM1" … "COM5".
    static QString portName(TCPort port);
    // The number without control characters, so that it cannot carry further
    // commands to the modem or break a history line.
    static QString cleanNumber(const QString &number);

private:
    qint32 m_PortHandle = -1;
    TCPort m_CPort = COM2;
    QString m_TelNumber;
    TDMethod m_DMethod = dmTone;
    QString m_InitStr;
};

static_assert(sizeof(TTelefon::TCPort) == 1 && sizeof(TTelefon::TDMethod) == 1);
