#include "store/table_connection.h"

#include "platform/errors.h"
#include "store/database_alias.h"
#include "store/sql_engine.h"
#include "store/sql_text.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <atomic>

TableConnection::TableConnection()
{
    static std::atomic<int> counter{0};
    m_name = QStringLiteral("kartax-table-%1").arg(++counter);
}

TableConnection::~TableConnection()
{
    close();
}

void TableConnection::open(const Target &target, std::function<void(qint64)> rowChanged)
{
    const DatabaseAlias alias = target.file.isEmpty() ? DatabaseAlias::read(target.alias)
                                                      : DatabaseAlias::ofFile(target.file);
    m_engine = &alias.engine();
    m_table = target.table;
    m_busyTimeout = target.busyTimeout;
    m_rowChanged = std::move(rowChanged);
    try {
        m_engine->openTable(*this, alias, m_table);
        if (m_engine->inFile())
            m_fileStamp = FileStamp::of(m_path);
        listen();
    } catch (...) {
        close();
        throw;
    }
}

void TableConnection::close()
{
    m_listener.reset();
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    m_engine = nullptr;
    m_path.clear();
    m_readOnly = false;
    m_lost = false;
    m_fileStamp.reset();
    m_rowChanged = nullptr;
}

void TableConnection::listen()
{
    m_listener = m_engine->listen(
        m_db, m_table, [this] { return isOpen() && !m_lost; },
        [this](qint64 id) {
            if (m_rowChanged)
                m_rowChanged(id);
        });
}

void TableConnection::fail(const QSqlError &error) const
{
    if (!m_lost && m_engine->connectionLost(m_db))
        m_lost = true;
    if (m_lost)
        throw DatabaseError(lostMessage(SqlText::engineMessage(error)));
    throw DatabaseError(m_engine->failureMessage(m_path, error));
}

void TableConnection::failWrite(const QSqlError &error) const
{
    if (const QString refusal = m_engine->writeRefusal(m_path, error); !refusal.isEmpty())
        throw DatabaseError(refusal);
    fail(error);
}

QString TableConnection::lostMessage(const QString &reason) const
{
    return QStringLiteral("Brak połączenia z serwerem bazy danych (%1): %2\nZmian nie zapisano; "
                          "edycja pozostaje otwarta. Program połączy się ponownie przy następnej "
                          "operacji, gdy serwer będzie dostępny.")
        .arg(m_path, reason.trimmed());
}

void TableConnection::reconnect()
{
    if (!m_lost)
        return;
    m_listener.reset();
    m_db.close();
    if (!m_db.open())
        throw DatabaseError(lostMessage(SqlText::engineMessage(m_db.lastError())));
    m_lost = false;
    listen();
}

void TableConnection::requireWritable() const
{
    if (!m_readOnly)
        return;
    throw DatabaseError(QStringLiteral("Baza danych %1 jest otwarta tylko do odczytu: brak prawa "
                                       "zapisu do tego pliku lub do folderu %2, w którym leży. "
                                       "Zmian nie można zapisać.")
                            .arg(QDir::toNativeSeparators(m_path),
                                 QDir::toNativeSeparators(QFileInfo(m_path).absolutePath())));
}

void TableConnection::requireSameFile() const
{
    // SQLite keeps writing to a file that was deleted or moved away, and all of it
    // would be gone at exit: refuse before writing.
    if (!m_fileStamp || m_fileStamp->sameFile(FileStamp::of(m_path)))
        return;
    throw DatabaseError(QStringLiteral("Plik bazy danych %1 został usunięty lub przeniesiony "
                                       "podczas pracy programu. Zmian nie zapisano; uruchom "
                                       "program ponownie.")
                            .arg(QDir::toNativeSeparators(m_path)));
}
