#include "app/empty_book_hint.h"

#include "forms/form_style.h"
#include "store/data_source.h"
#include "store/table.h"

#include <QLabel>

EmptyBookHint::EmptyBookHint(QWidget *card, TDataSource *source)
    : QObject(card), m_label(new QLabel(text(), card)), m_source(source)
{
    m_label->setObjectName(QStringLiteral("emptyBookHint"));
    // Beside "Nazwa", "Branża" and "Przedstawiciel", whose values an empty book lacks.
    m_label->setGeometry(112, 2, 302, 62);
    m_label->setWordWrap(true);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_label->setFont(FormStyle::arial(13, false, true));
    QPalette colours = m_label->palette();
    colours.setColor(QPalette::WindowText, QColor(0, 0, 0x80));
    m_label->setPalette(colours);
    connect(source, &TDataSource::dataSetChanged, this, &EmptyBookHint::update);
    connect(source, &TDataSource::stateChanged, this, &EmptyBookHint::update);
    update();
}

QString EmptyBookHint::text()
{
    return QStringLiteral("Książka jest pusta: dodaj kontakt w oknie wprowadzania danych "
                          "(Program → Wpisz dane) albo zaimportuj kontakty z pliku vCard, CSV "
                          "lub innej książki (Program → Import kontaktów…).");
}

bool EmptyBookHint::isShown() const
{
    return !m_label->isHidden();
}

void EmptyBookHint::update()
{
    const TTable *table = m_source->dataSet();
    m_label->setVisible(table && table->state() == DataSetState::Browse && table->isEmpty());
}
