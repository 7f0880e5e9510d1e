#include "sync/widgets/carddav_settings_window.h"

#include <QThread>

TCardDavWindow::Discovery TCardDavWindow::serverDiscovery()
{
    return [](const QUrl &url, const QString &user, const QString &password, Found done) {
        // Lives on the caller's thread: the answer is handed to it there.
        auto *receiver = new QObject;
        QThread *thread = QThread::create([=] {
            DavClient client;
            client.setCredentials(user, password);
            const QList<DavAddressBook> books = client.discover(url);
            const DavError error = client.lastError();
            QMetaObject::invokeMethod(
                receiver,
                [receiver, done, books, error] {
                    done(books, error);
                    receiver->deleteLater();
                },
                Qt::QueuedConnection);
        });
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->start();
    };
}
