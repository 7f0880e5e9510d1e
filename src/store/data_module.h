#pragma once

#include <QObject>
#include <functional>

class TTable;
class TDataSource;

// The data module `DM9`: owns the contact table `t1`, opened through the alias
// Kax2000 in name order when the module is created, and its data source `d1`.
class TDM9 final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TDM9)

public:
    // Opens the table; raises DatabaseError with the engine's message when it
    // cannot be opened or lacks one of the indexes the program relies on.
    // An empty databaseFile resolves the alias. `opening` is told how far a rebuild
    // of the sort keys has got, in per cent, when the opening makes one.
    explicit TDM9(QObject *parent = nullptr, const QString &databaseFile = QString(),
                  const std::function<void(int percent)> &opening = {});
    ~TDM9() override;

    TTable *t1 = nullptr;
    TDataSource *d1 = nullptr;
};
