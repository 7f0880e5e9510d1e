#pragma once

#include "exchange/csv.h"
#include "forms/modal_window.h"

#include <QVector>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

// `TImportMapping`: the window that shows the first rows of a CSV file under what
// each column is guessed to give (a field, a further value, or, for a column nothing
// matches, "zachowaj jako inne": an "other" value under its header), and lets the user
// choose another field, keep the column as other, or skip it, and change the file's
// encoding before the import.
class TImportMapping final : public KaxModalWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TImportMapping)

public:
    enum Answer { Cancelled, Accepted };

    explicit TImportMapping(QWidget *parent = nullptr);

    // Reads the header and first rows of the file, finding its encoding; false, with
    // the reason in error, when it has no header row.
    bool load(const QString &path, QString *error);
    // Reads the file again in another encoding; the fields chosen so far stay when
    // the columns are the same.
    void setEncoding(CsvEncoding encoding);
    CsvEncoding encoding() const { return m_encoding; }
    // Per column: what it gives.
    CsvMapping mapping() const;
    // Chooses a field for the column (-1: skip it), or any other meaning.
    void setColumnField(int column, int field);
    void setColumn(int column, const CsvColumn &meaning);

    QLabel *FileName = nullptr;
    QComboBox *EncodingBox = nullptr;
    QLabel *Separator = nullptr;
    QTableWidget *Preview = nullptr;
    QLabel *Hint = nullptr;
    QPushButton *ImportButton = nullptr;
    QPushButton *CancelButton = nullptr;

private:
    bool read(CsvEncoding encoding, QString *error);
    void fieldsChanged();
    QComboBox *fieldBox(int column) const;

    QString m_path;
    QStringList m_headers;
    QList<CsvMapping> m_choices; // per column: what each item of its box gives
    CsvEncoding m_encoding = CsvEncoding::Detect;
};
