#include "exchange/widgets/import_mapping_window.h"

#include "exchange/contact_record.h"
#include "forms/form_style.h"
#include "platform/file_access.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

namespace {

struct EncodingName
{
    CsvEncoding encoding;
    const char *name;
};

constexpr EncodingName kEncodings[] = {{CsvEncoding::Utf8, "UTF-8"},
                                       {CsvEncoding::Utf16LE, "UTF-16 LE"},
                                       {CsvEncoding::Utf16BE, "UTF-16 BE"},
                                       {CsvEncoding::Windows1250, "Windows-1250"},
                                       {CsvEncoding::Iso8859_2, "ISO-8859-2"}};

// What a column gives, as its box names it.
QString describe(const CsvColumn &column, const QString &header, const QStringList &headers)
{
    using Role = CsvColumn::Role;
    const auto typed = [&column](const QString &text) {
        return column.type.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, column.type);
    };
    if (column.role == Role::Uid)
        return QStringLiteral("UID");
    if (column.role == Role::Type || column.role == Role::Label) {
        const QString what =
            column.role == Role::Type ? QStringLiteral("typ") : QStringLiteral("etykieta");
        if (column.kind == ContactDetail::Address)
            return QStringLiteral("(%1 adresu)").arg(what);
        return QStringLiteral("(%1: %2)").arg(what, headers.value(column.of));
    }
    if (column.skipped())
        return QStringLiteral("(pomiń)");
    if (column.keeps(header))
        return QStringLiteral("(zachowaj jako inne)");
    if (column.kind == ContactDetail::Address && column.part >= 0) {
        const QString place = column.field >= 0 ? ContactRecord::fieldCaption(column.field)
                                                : QStringLiteral("Ulica numer");
        return typed(QStringLiteral("Adres: %1").arg(place));
    }
    if (column.field >= 0 && !column.kind && column.field == ContactRecord::Filia)
        return QStringLiteral("Przedstawiciel: imię lub nazwisko");
    if (column.field >= 0)
        return typed(ContactRecord::fieldCaption(column.field));
    if (column.kind == ContactDetail::Other)
        return QStringLiteral("Inne: %1").arg(column.label);
    return typed(ContactDetail::kindCaption(*column.kind));
}

QString separatorName(QChar delimiter)
{
    if (delimiter == u';')
        return QStringLiteral("średnik");
    if (delimiter == u',')
        return QStringLiteral("przecinek");
    return QStringLiteral("tabulator");
}

} // namespace

TImportMapping::TImportMapping(QWidget *parent)
    : KaxModalWindow(QStringLiteral("ImportMapping"),
                     QStringLiteral("Import kontaktów z pliku CSV"), QSize(720, 430), Cancelled,
                     parent)
{
    using FormStyle::label;
    label(this, QStringLiteral("Label1"), QStringLiteral("Plik:"), {8, 12});
    FileName = label(this, QStringLiteral("FileName"), QString(), {48, 12});
    FileName->setFixedWidth(664);

    EncodingBox = new QComboBox(this);
    EncodingBox->setObjectName(QStringLiteral("EncodingBox"));
    for (const EncodingName &entry : kEncodings)
        EncodingBox->addItem(QString::fromLatin1(entry.name), int(entry.encoding));
    EncodingBox->setGeometry(136, 36, 130, 24);
    QLabel *encodingLabel =
        label(this, QStringLiteral("Label2"), QStringLiteral("&Kodowanie znaków:"), {8, 40});
    encodingLabel->setBuddy(EncodingBox);
    label(this, QStringLiteral("Label3"), QStringLiteral("Separator pól:"), {290, 40});
    Separator = label(this, QStringLiteral("Separator"), QString(), {390, 40});
    Separator->setFixedWidth(120);
    connect(EncodingBox, &QComboBox::activated, this,
            [this] { setEncoding(CsvEncoding(EncodingBox->currentData().toInt())); });

    Preview = new QTableWidget(this);
    Preview->setObjectName(QStringLiteral("Preview"));
    Preview->setGeometry(8, 70, 704, 290);
    Preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Preview->setSelectionMode(QAbstractItemView::NoSelection);
    Preview->setWordWrap(false);
    Preview->setAccessibleName(QStringLiteral("Pierwsze wiersze pliku"));

    Hint = label(this, QStringLiteral("Hint"),
                 QStringLiteral("Wybierz pole każdej kolumny. „(zachowaj jako inne)”: dalsze dane "
                                "kontaktu pod nazwą kolumny; „(pomiń)”: kolumna nie będzie "
                                "importowana."),
                 {8, 364});
    Hint->setWordWrap(true);
    Hint->setFixedSize(520, Hint->heightForWidth(520));

    ImportButton = new QPushButton(QStringLiteral("&Importuj"), this);
    ImportButton->setObjectName(QStringLiteral("ImportButton"));
    ImportButton->setGeometry(536, 396, 84, 26);
    ImportButton->setDefault(true);
    connect(ImportButton, &QPushButton::clicked, this, [this] { answer(Accepted); });
    CancelButton = new QPushButton(QStringLiteral("Anuluj"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(628, 396, 84, 26);
    connect(CancelButton, &QPushButton::clicked, this, [this] { answer(Cancelled); });
}

bool TImportMapping::load(const QString &path, QString *error)
{
    m_path = path;
    FileName->setText(FileName->fontMetrics().elidedText(QFileInfo(path).absoluteFilePath(),
                                                         Qt::ElideMiddle, FileName->width()));
    Preview->clear();
    Preview->setRowCount(0);
    Preview->setColumnCount(0);
    return read(CsvEncoding::Detect, error);
}

void TImportMapping::setEncoding(CsvEncoding encoding)
{
    const CsvMapping chosen = mapping();
    const QStringList headers = m_headers;
    QString error;
    read(encoding, &error);
    if (chosen.size() == Preview->columnCount()) {
        // A column kept under its header stays so, though the header reads otherwise now.
        for (int column = 0; column < chosen.size(); ++column)
            setColumn(column, chosen[column].keeps(headers.value(column))
                                  ? CsvColumn::keptAs(m_headers.value(column))
                                  : chosen[column]);
    }
}

bool TImportMapping::read(CsvEncoding encoding, QString *error)
{
    QFile file;
    if (const IoResult opened = FileAccess::openRegular(&file, m_path); !opened.ok) {
        *error = QStringLiteral("Nie można odczytać pliku %1: %2").arg(m_path, opened.error);
        return false;
    }
    CsvReader reader(&file, encoding);
    if (!reader.open()) {
        *error = QStringLiteral("Plik %1, wiersz %2: %3")
                     .arg(m_path)
                     .arg(reader.errorLine())
                     .arg(reader.errorString());
        return false;
    }
    m_encoding = reader.encoding();
    EncodingBox->setCurrentIndex(EncodingBox->findData(int(m_encoding)));
    Separator->setText(separatorName(reader.delimiter()));

    const QStringList headers = reader.headers();
    const QList<QStringList> rows = reader.previewRows();
    Preview->setColumnCount(int(headers.size()));
    Preview->setRowCount(int(rows.size()) + 1);
    Preview->setHorizontalHeaderLabels(headers);
    QStringList rowNames{QStringLiteral("Pole")};
    for (int row = 1; row <= rows.size(); ++row)
        rowNames << QString::number(row);
    Preview->setVerticalHeaderLabels(rowNames);
    const CsvMapping guessed = reader.mapping();
    m_headers = headers;
    m_choices.clear();
    for (int column = 0; column < headers.size(); ++column) {
        auto *box = new QComboBox(Preview);
        box->setObjectName(QStringLiteral("Field%1").arg(column + 1));
        box->setAccessibleName(QStringLiteral("Pole kolumny %1").arg(headers[column]));
        CsvMapping choices{CsvColumn{}, CsvColumn::keptAs(headers[column])};
        for (int field = 0; field < ContactRecord::kFieldCount; ++field)
            choices << CsvColumn::forField(field);
        const CsvColumn guess = guessed.value(column);
        if (!choices.contains(guess))
            choices.insert(2, guess);
        for (qsizetype i = 0; i < choices.size(); ++i)
            box->addItem(describe(choices[i], headers[column], headers), int(i));
        m_choices << choices;
        box->setCurrentIndex(int(choices.indexOf(guess)));
        connect(box, &QComboBox::currentIndexChanged, this, &TImportMapping::fieldsChanged);
        Preview->setCellWidget(0, column, box);
        for (int row = 0; row < rows.size(); ++row)
            Preview->setItem(row + 1, column, new QTableWidgetItem(rows[row].value(column)));
    }
    Preview->resizeColumnsToContents();
    for (int column = 0; column < headers.size(); ++column)
        Preview->setColumnWidth(column, std::clamp(Preview->columnWidth(column), 120, 260));
    fieldsChanged();
    return true;
}

QComboBox *TImportMapping::fieldBox(int column) const
{
    return qobject_cast<QComboBox *>(Preview->cellWidget(0, column));
}

CsvMapping TImportMapping::mapping() const
{
    CsvMapping columns;
    for (int column = 0; column < Preview->columnCount(); ++column) {
        const QComboBox *box = fieldBox(column);
        columns << (box ? m_choices.value(column).value(box->currentIndex()) : CsvColumn{});
    }
    return columns;
}

void TImportMapping::setColumnField(int column, int field)
{
    setColumn(column, field < 0 ? CsvColumn{} : CsvColumn::forField(field));
}

void TImportMapping::setColumn(int column, const CsvColumn &meaning)
{
    QComboBox *box = fieldBox(column);
    if (!box)
        return;
    CsvMapping &choices = m_choices[column];
    if (!choices.contains(meaning)) {
        choices << meaning;
        box->addItem(describe(meaning, m_headers.value(column), m_headers),
                     int(choices.size() - 1));
    }
    box->setCurrentIndex(int(choices.indexOf(meaning)));
}

void TImportMapping::fieldsChanged()
{
    const CsvMapping columns = mapping();
    // Columns skipped are shown greyed, as they will not be read.
    for (int column = 0; column < columns.size(); ++column) {
        for (int row = 1; row < Preview->rowCount(); ++row) {
            if (QTableWidgetItem *item = Preview->item(row, column))
                item->setForeground(columns[column].skipped()
                                        ? palette().color(QPalette::Disabled, QPalette::Text)
                                        : palette().color(QPalette::Text));
        }
    }
    // Columns all skipped or kept under their headers give no contacts.
    ImportButton->setEnabled(CsvReader::fillsContacts(columns, m_headers));
}
