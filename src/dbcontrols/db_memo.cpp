#include "dbcontrols/db_memo.h"

#include "dbcontrols/field_data_link.h"
#include "dbcontrols/visible_text.h"
#include "store/table.h"

namespace {
constexpr int kIdleMilliseconds = 300;

// Stored notes separate lines with CR LF; the memo uses bare line feeds.
QString toDisplay(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

QString toStored(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}
} // namespace

DBMemo::DBMemo(const QString &name, const QString &field, QWidget *parent)
    : QPlainTextEdit(parent), m_link(new FieldDataLink(this))
{
    setObjectName(name);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true); // Tab moves on to the next control, as in every form
    m_idle.setSingleShot(true);
    m_idle.setInterval(kIdleMilliseconds);
    connect(&m_idle, &QTimer::timeout, this, &DBMemo::updateData);
    m_rest.setSingleShot(true);
    m_rest.setInterval(0);
    connect(&m_rest, &QTimer::timeout, this, &DBMemo::loadRest);
    m_link->setDataField(field);
    m_link->onShow = [this](const QString &text) { show(text); };
    m_link->onUpdateData = [this] { updateData(); };
    m_link->onStateChanged = [this] {
        const TTable *table = m_link->table();
        if (m_pending && !(table && table->editing())) {
            m_pending = false; // the edit was posted or dropped elsewhere
            show(m_link->text());
        }
    };
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (m_loading || isReadOnly())
            return;
        if (!m_link->active() || !m_link->writeText(m_link->text())) {
            show(m_link->text());
            return;
        }
        m_pending = true;
        m_idle.start();
    });
}

void DBMemo::setDataSource(TDataSource *source)
{
    m_link->setDataSource(source);
}

void DBMemo::updateData()
{
    if (!m_pending)
        return;
    m_pending = false;
    m_idle.stop();
    const TTable *table = m_link->table();
    if (table && table->editing())
        m_link->writeText(toStored(toPlainText()));
}

void DBMemo::focusInEvent(QFocusEvent *event)
{
    loadRest(); // the whole text before any typing
    QPlainTextEdit::focusInEvent(event);
}

void DBMemo::focusOutEvent(QFocusEvent *event)
{
    updateData();
    QPlainTextEdit::focusOutEvent(event);
}

void DBMemo::show(const QString &text)
{
    if (m_link->readOnly())
        setReadOnly(true); // a book that cannot be written takes no typing
    if (m_pending)
        return; // keep what the user is typing
    const QString display = toDisplay(text);
    if (!m_restText.isNull() ? display == m_restText : display == toPlainText())
        return;
    m_rest.stop();
    m_restText = QString();
    if (display.size() < VisibleText::kLongText || hasFocus()) {
        load(display);
        return;
    }
    // The first lines, ending at a line's end, fill any view of the memo.
    const qsizetype lineEnd = display.indexOf(QLatin1Char('\n'), VisibleText::kLongText);
    load(lineEnd < 0 ? display : display.left(lineEnd));
    if (lineEnd >= 0) {
        m_restText = display;
        m_rest.start();
    }
}

void DBMemo::load(const QString &display)
{
    m_loading = true;
    setPlainText(display);
    m_loading = false;
}

void DBMemo::loadRest()
{
    if (m_restText.isNull())
        return;
    m_rest.stop();
    const QString rest = m_restText;
    m_restText = QString();
    load(rest);
}
