#pragma once

#include "store/database_alias.h"

#include <QObject>
#include <QString>
#include <atomic>

class QThread;

// Makes the day's first automatic copy of the book on a worker thread, so that the
// windows keep answering, and says once when a copy fails.
class BackupKeeper final : public QObject
{
    Q_OBJECT

public:
    BackupKeeper(const DatabaseAlias &book, const QString &table, QObject *parent = nullptr);
    // A copy under way is cancelled and awaited; its temporary file goes.
    ~BackupKeeper() override;

    // Whether no copy in the folder was made today (by the local date of the clock).
    bool due() const;
    // Starts a copy when one is due; false when none was started.
    bool startUp();
    // Starts a copy now unless one is under way.
    void copyNow();
    bool running() const { return m_thread != nullptr; }

signals:
    void copied(const QString &path);
    // The first failure of this run; later ones are not repeated.
    void failed(const QString &message);
    void finished();

private:
    void done(const QString &path, const QString &error);

    DatabaseAlias m_book;
    QString m_table;
    QThread *m_thread = nullptr;
    std::atomic<bool> m_stop = false;
    bool m_reported = false;
};
