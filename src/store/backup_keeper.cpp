#include "store/backup_keeper.h"

#include "platform/clock.h"
#include "platform/errors.h"
#include "store/book_backup.h"

#include <QThread>

BackupKeeper::BackupKeeper(const DatabaseAlias &book, const QString &table, QObject *parent)
    : QObject(parent), m_book(book), m_table(table)
{
}

BackupKeeper::~BackupKeeper()
{
    m_stop = true;
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

bool BackupKeeper::due() const
{
    const QList<BookBackup::Copy> copies = BookBackup::list(BookBackup::folder(m_book));
    return copies.isEmpty() || copies.first().time.date() < Clock::now().toLocalTime().date();
}

bool BackupKeeper::startUp()
{
    bool needed = true;
    try {
        needed = due();
    } catch (const KaxError &error) {
        done({}, error.message());
        return false;
    }
    if (needed)
        copyNow();
    return needed;
}

void BackupKeeper::copyNow()
{
    if (m_thread)
        return;
    m_stop = false;
    m_thread = QThread::create([this, book = m_book, table = m_table] {
        QString path;
        QString error;
        try {
            path =
                BookBackup::makeAutomatic(book, table, [this](int) { return !m_stop.load(); }).path;
        } catch (const KaxError &failure) {
            error = failure.message();
        } catch (const std::exception &failure) {
            error = QString::fromLocal8Bit(failure.what());
        }
        QMetaObject::invokeMethod(
            this, [this, path, error] { done(path, error); }, Qt::QueuedConnection);
    });
    m_thread->start(QThread::LowPriority);
}

void BackupKeeper::done(const QString &path, const QString &error)
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
    if (!error.isEmpty() && !m_stop) {
        if (!m_reported) {
            m_reported = true;
            emit failed(error);
        }
    } else if (!path.isEmpty()) {
        emit copied(path);
    }
    emit finished();
}
