#pragma once

#include <QByteArray>
#include <QString>

struct UCollator;

// Polish alphabetical order without regard to case, as byte strings (ICU sort
// keys) that compare with memcmp. The indexes order the stored keys, and the
// nearest-key search compares with keys made here, so both agree.
class SortKeyCollator final
{
public:
    static SortKeyCollator &instance();

    QByteArray key(const QString &text) const;
    // Identifies the collation rules; stored keys are rebuilt when it changes.
    QString version() const { return m_version; }

    SortKeyCollator(const SortKeyCollator &) = delete;
    SortKeyCollator &operator=(const SortKeyCollator &) = delete;

private:
    SortKeyCollator();
    ~SortKeyCollator();

    UCollator *m_collator = nullptr;
    QString m_version;
};
