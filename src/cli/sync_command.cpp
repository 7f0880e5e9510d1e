#include "cli/commands.h"
#include "platform/password_store.h"
#include "platform/settings_store.h"
#include "store/data_module.h"
#include "store/table.h"
#include "sync/sync_engine.h"
#include "sync/sync_settings.h"

#include <QTextStream>

namespace CommandLine {

int syncContacts(const Options &options, QTextStream &out, QTextStream &err)
{
    SettingsStore store;
    const CardDavSettings settings = CardDavSettings::load(store);
    if (!settings.configured()) {
        err << QStringLiteral("Synchronizacja CardDAV nie jest ustawiona (Ustawienia → "
                              "Synchronizacja CardDAV).")
            << '\n';
        return 1;
    }
    QString password;
    QString why;
    const std::unique_ptr<PasswordStore> keyring = PasswordStore::system();
    if (!settings.password(*keyring, &password, &why)) {
        err << why << '\n';
        return 1;
    }
    TDM9 data;
    CardDavSync sync(*data.t1);
    // Two copies never sync the same book at once: the second says so and ends.
    sync.setWaitForLock(false);
    const bool agreed = options.contains(kYes);
    bool declined = false;
    sync.setConfirm([&](const SyncPlan &plan) {
        out << plan.describe() << '\n';
        declined = !agreed;
        return agreed;
    });
    SyncTarget target;
    target.book = settings.book();
    target.user = settings.user;
    target.password = password;
    const SyncReport report = sync.run(target);
    if (declined) {
        err << QStringLiteral("Nic nie zmieniono. Aby to wykonać, uruchom ponownie z opcją %1.")
                   .arg(kYes)
            << '\n';
        return 1;
    }
    if (report.error) {
        err << report.error.message << '\n';
        return 1;
    }
    out << report.summary() << '\n';
    return 0;
}

} // namespace CommandLine
