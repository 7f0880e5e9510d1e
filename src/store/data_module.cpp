#include "store/data_module.h"

#include "store/contact_schema.h"
#include "store/data_source.h"
#include "store/table.h"

TDM9::TDM9(QObject *parent, const QString &databaseFile,
           const std::function<void(int percent)> &opening)
    : QObject(parent)
{
    setObjectName(QStringLiteral("DM9"));
    t1 = new TTable(this);
    t1->setObjectName(QStringLiteral("t1"));
    t1->setDatabaseName(QLatin1String(ContactSchema::kAlias));
    t1->setDatabaseFile(databaseFile);
    t1->setTableName(QLatin1String(ContactSchema::kTableName));
    t1->setIndexName(QStringLiteral("nind"));
    d1 = new TDataSource(this);
    d1->setObjectName(QStringLiteral("d1"));
    d1->setAutoEdit(true);
    // Opening checks the index in use; a missing search index is the engine's error
    // when a search selects it.
    t1->setRebuildProgress(opening);
    t1->open();
    t1->setRebuildProgress(nullptr); // whatever shows the opening is gone after it
    d1->setDataSet(t1);
}

TDM9::~TDM9()
{
    // An edit still open at exit is discarded, not posted.
    d1->setDataSet(nullptr);
    t1->close();
}
