#include "dial/telefon.h"

#include "platform/serial_port.h"
#include "platform/widgets/dialogs.h"

#include <QStringEncoder>

namespace {

const QString kLineEnd = QStringLiteral("\r\n");
const QString kHangUp = QStringLiteral("ATH\r\n");
const QString kDefaultNumber = QStringLiteral("5551234");

DialogButton ask(DialogKind kind, const QString &caption, const QString &text,
                 QList<DialogButton> buttons, DialogButton defaultButton, DialogButton escapeButton)
{
    DialogRequest request;
    request.kind = kind;
    request.caption = caption;
    request.text = text;
    request.buttons = std::move(buttons);
    request.defaultButton = defaultButton;
    request.escapeButton = escapeButton;
    return Dialogs::current().ask(request);
}

void showError(const QString &text)
{
    ask(DialogKind::Error, QStringLiteral("Error"), text, {DialogButton::Ok}, DialogButton::Ok,
        DialogButton::Ok);
}

// Commands go to the modem as single-byte Windows-1250 text; a character that the
// code page lacks becomes '?'.
QByteArray commandBytes(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar ch : text) {
        if (ch.unicode() < 0x80) {
            bytes.append(char(ch.unicode()));
            continue;
        }
        QStringEncoder ansi("windows-1250");
        const QByteArray encoded = ansi.encode(QStringView(&ch, 1));
        bytes.append(!ansi.hasError() && encoded.size() == 1 ? encoded : QByteArray("?"));
    }
    return bytes;
}

} // namespace

TTelefon::TTelefon(QObject *owner) : QObject(owner), m_TelNumber(kDefaultNumber) {}

TTelefon::~TTelefon()
{
    ClosePort();
}

QString TTelefon::portName(TCPort port)
{
    return QStringLiteral("COM%1").arg(int(port) + 1);
}

QString TTelefon::cleanNumber(const QString &number)
{
    QString clean;
    clean.reserve(number.size());
    for (const QChar ch : number) {
        const QChar::Category category = ch.category();
        if (category != QChar::Other_Control && category != QChar::Separator_Line &&
            category != QChar::Separator_Paragraph)
            clean.append(ch);
    }
    return clean;
}

void TTelefon::ClosePort()
{
    if (m_PortHandle != SerialPort::InvalidHandle)
        SerialPort::close(m_PortHandle);
    m_PortHandle = SerialPort::InvalidHandle;
}

bool TTelefon::OpenPort()
{
    const QString name = portName(m_CPort);
    ClosePort();
    for (;;) {
        m_PortHandle = SerialPort::open(name);
        if (m_PortHandle != SerialPort::InvalidHandle)
            break;
        const DialogButton answer = ask(DialogKind::Warning, QStringLiteral("Warning"),
                                        QStringLiteral("Błąd operatora ") + name,
                                        {DialogButton::Abort, DialogButton::Retry},
                                        DialogButton::Retry, DialogButton::None);
        if (answer == DialogButton::Abort)
            break;
    }
    return m_PortHandle != SerialPort::InvalidHandle;
}

bool TTelefon::SendCommand(const QString &text)
{
    if (m_PortHandle == SerialPort::InvalidHandle)
        return false;
    const QByteArray bytes = commandBytes(text);
    return SerialPort::write(m_PortHandle, bytes) == bytes.size();
}

bool TTelefon::Dial()
{
    if (!OpenPort()) {
        showError(QStringLiteral("Brak połączenia z portem "));
        return false;
    }
    if (!m_InitStr.isEmpty() && !SendCommand(m_InitStr + kLineEnd)) {
        showError(QStringLiteral("Błąd initializing modemu "));
        ClosePort();
        return false;
    }
    const QString number = cleanNumber(m_TelNumber);
    const DialogButton answer =
        ask(DialogKind::Confirmation, QStringLiteral("Confirm"),
            QStringLiteral("Czy to jest właściwy numer: ") + number +
                QStringLiteral(". Czy dokonać połączenia?"),
            {DialogButton::Yes, DialogButton::No}, DialogButton::Yes, DialogButton::No);
    if (answer != DialogButton::Yes) {
        ClosePort();
        return false;
    }
    QString command = QStringLiteral("ATDP") + number + kLineEnd;
    if (m_DMethod == dmTone)
        command[3] = QLatin1Char('T');
    if (!SendCommand(command)) {
        showError(QStringLiteral("Błąd wybierania numeru "));
        ClosePort();
        return false;
    }
    // The modem dials while this box is open; the user lifts the handset, then OK
    // hangs the modem up so that the handset keeps the line. The box closes only
    // with OK, so the hang-up is sent however it was closed.
    ask(DialogKind::Plain, QStringLiteral("Komunikat połączenia ..."),
        QStringLiteral("Po zakończeniu wybierania przez modem, podnieś słuchawkę. Nciśnij OK "),
        {DialogButton::Ok}, DialogButton::Ok, DialogButton::Ok);
    SendCommand(kHangUp);
    return true;
}
