#include "find/find_window.h"

#include "find/find_model.h"
#include "platform/errors.h"
#include "platform/widgets/dialogs.h"
#include "store/table.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

TFindWindow::TFindWindow(QWidget *parent)
    : KaxForm(QStringLiteral("FindWindow"), QStringLiteral("Znajdź"), QSize(1000, 480), 0, parent),
      Szukaj(new QLineEdit(this)), Wyniki(new QTableView(this)), Stan(new QLabel(this)),
      m_model(new FindModel(this)), m_typed(new QTimer(this)), m_more(new QTimer(this))
{
    Szukaj->setObjectName(QStringLiteral("Szukaj"));
    Szukaj->setPlaceholderText(
        QStringLiteral("Szukaj w nazwie, adresie, telefonie, e-mailu, uwagach…"));
    Szukaj->setClearButtonEnabled(true);
    Wyniki->setObjectName(QStringLiteral("Wyniki"));
    Wyniki->setModel(m_model);
    Wyniki->setItemDelegate(new MatchDelegate(Wyniki));
    Wyniki->setSelectionBehavior(QAbstractItemView::SelectRows);
    Wyniki->setSelectionMode(QAbstractItemView::SingleSelection);
    Wyniki->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Wyniki->setTabKeyNavigation(false);
    Wyniki->setWordWrap(false);
    Wyniki->verticalHeader()->hide();
    Wyniki->verticalHeader()->setDefaultSectionSize(Wyniki->fontMetrics().height() + 6);
    Wyniki->horizontalHeader()->setHighlightSections(false);
    Wyniki->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {230, 140, 175, 140, 110};
    for (int column = 0; column < int(std::size(widths)); ++column)
        Wyniki->setColumnWidth(column, widths[column]);
    Stan->setObjectName(QStringLiteral("Stan"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 6);
    layout->setSpacing(6);
    layout->addWidget(Szukaj);
    layout->addWidget(Wyniki, 1);
    layout->addWidget(Stan);

    m_typed->setSingleShot(true);
    m_typed->setInterval(0);
    connect(m_typed, &QTimer::timeout, this, &TFindWindow::searchNow);
    m_more->setSingleShot(true);
    m_more->setInterval(0);
    connect(m_more, &QTimer::timeout, this, [this] {
        if (m_model->searchMore())
            m_more->start();
        showCount();
    });
    connect(Szukaj, &QLineEdit::textChanged, m_typed, qOverload<>(&QTimer::start));
    connect(Wyniki, &QTableView::doubleClicked, this, &TFindWindow::openCurrent);
    Szukaj->installEventFilter(this);
    Wyniki->installEventFilter(this);

    auto *close = new QAction(this);
    close->setObjectName(QStringLiteral("Zamknij"));
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(close, &QAction::triggered, this, &QWidget::hide);
    addAction(close);
}

TFindWindow::~TFindWindow() = default;

void TFindWindow::searchNow()
{
    m_typed->stop();
    m_more->stop();
    try {
        m_model->search(contacts(), Szukaj->text());
    } catch (const KaxError &error) {
        Stan->clear();
        reportError(error.message());
        return;
    }
    if (m_model->rowCount() > 0)
        Wyniki->setCurrentIndex(m_model->index(0, 0));
    if (m_model->searching())
        m_more->start();
    showCount();
}

void TFindWindow::showCount()
{
    if (ContactSearch::words(Szukaj->text()).isEmpty())
        Stan->clear();
    else // "…" while the search reads on
        Stan->setText(contactCountText(m_model->matchCount(), FindModel::kCountCap) +
                      (m_model->searching() ? QStringLiteral("…") : QString()));
}

void TFindWindow::openCurrent()
{
    const int row = std::max(0, Wyniki->currentIndex().row());
    const qint64 id = m_model->contactId(row);
    TTable *table = contacts();
    if (id < 0 || !table)
        return;
    try {
        if (!table->locate(id)) // deleted since: the list is out of date
            searchNow();
    } catch (const KaxError &error) {
        reportError(error.message());
    }
}

bool TFindWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return KaxForm::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        openCurrent();
        return true;
    }
    if (watched == Szukaj && key == Qt::Key_Down && m_model->rowCount() > 0) {
        Wyniki->setFocus();
        Wyniki->setCurrentIndex(m_model->index(std::max(0, Wyniki->currentIndex().row()), 0));
        return true;
    }
    if (watched == Wyniki && key == Qt::Key_Up && Wyniki->currentIndex().row() <= 0) {
        Szukaj->setFocus();
        return true;
    }
    return KaxForm::eventFilter(watched, event);
}

void TFindWindow::showEvent(QShowEvent *event)
{
    KaxForm::showEvent(event);
    // Contacts may have changed while the window was hidden.
    if (!Szukaj->text().isEmpty())
        searchNow();
    Szukaj->setFocus();
    Szukaj->selectAll();
}
