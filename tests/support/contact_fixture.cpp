#include "support/contact_fixture.h"

#include "store/data_module.h"
#include "store/table.h"

#include <QProcess>
#include <QTest>

ContactFixture::ContactFixture()
{
    open();
}

ContactFixture::~ContactFixture() = default;

QString ContactFixture::databasePath() const
{
    return m_dir.filePath(QStringLiteral("Kartax2000.db"));
}

TTable &ContactFixture::table()
{
    return *m_dm->t1;
}

void ContactFixture::open()
{
    m_dm = std::make_unique<TDM9>(nullptr, databasePath());
}

void ContactFixture::close()
{
    m_dm.reset();
}

void ContactFixture::add(const QString &name, const QString &branch, const QString &representative,
                         const QStringList &rest)
{
    insertContact(table(), name, branch, representative, rest);
}

void insertContact(TTable &t, const QString &name, const QString &branch,
                   const QString &representative, const QStringList &rest)
{
    t.insert();
    t.setFieldText(QStringLiteral("Nazwa"), name);
    t.setFieldText(QStringLiteral("Branza"), branch);
    t.setFieldText(QStringLiteral("Filia"), representative);
    const QStringList others{QStringLiteral("Kraj"),   QStringLiteral("Miasto"),
                             QStringLiteral("Kod"),    QStringLiteral("Ulica"),
                             QStringLiteral("Region"), QStringLiteral("Tel"),
                             QStringLiteral("Fax"),    QStringLiteral("Email"),
                             QStringLiteral("Http"),   QStringLiteral("Uwagi")};
    for (int i = 0; i < rest.size() && i < others.size(); ++i)
        t.setFieldText(others[i], rest[i]);
    t.post();
}

QStringList ContactFixture::walkForward(const QString &field)
{
    return ::walkForward(table(), field);
}

QStringList walkForward(TTable &t, const QString &field)
{
    QStringList values;
    t.first();
    while (!t.eof()) {
        values << t.fieldText(field);
        t.next();
    }
    return values;
}

QStringList ContactFixture::walkBackward(const QString &field)
{
    QStringList values;
    TTable &t = table();
    t.last();
    while (!t.bof()) {
        values << t.fieldText(field);
        t.prior();
    }
    return values;
}

QString ContactFixture::sqlite3Against(const QString &database, const QString &sql)
{
    QProcess process;
    process.start(QStringLiteral("sqlite3"), {database, sql});
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        qWarning("sqlite3 failed: %s", process.readAllStandardError().constData());
        return QStringLiteral("<sqlite3 failed>");
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}
