#pragma once

#include "exchange/csv.h"
#include "forms/modal_window.h"

#include <QVector>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

// `TImportMapping`: the window that shows the first rows of a CSV file under the
// fields its columns are guessed to fill, and lets the user change the field of each
// column and the file's encoding before the import.
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
    // Per column: the field it fills, or -1.
    QVector<int> mapping() const;
    void setColumnField(int column, int field);

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
    CsvEncoding m_encoding = CsvEncoding::Detect;
};
