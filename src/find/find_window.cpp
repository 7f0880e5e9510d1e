#include "find/find_window.h"

#include "find/find_model.h"
#include "platform/errors.h"
#include "platform/widgets/dialogs.h"
#include "store/table.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QSize kPreferredSize(1000, 480);
// Room for the search box, the count and a few rows of the list.
const QSize kMinimumSize(480, 240);
constexpr int kGap = 4; // between the card and the window's frame

} // namespace

TFindWindow::TFindWindow(QWidget *parent)
    : KaxForm(QStringLiteral("FindWindow"), QStringLiteral("Znajdź"), kPreferredSize, 22, parent),
      Szukaj(new QLineEdit(this)), Wyniki(new QTableView(this)), Stan(new QLabel(this)),
      m_model(new FindModel(this)), m_typed(new QTimer(this)), m_more(new QTimer(this))
{
    // Smaller where the screen beside the card has less room; the user may resize it.
    setMinimumSize(kMinimumSize);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
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
        // Shown under the list while it lasts; a box only when it first comes, so that
        // typing on (a text of too many words) is not stopped at every key.
        Stan->setText(error.message());
        const bool fresh = m_failure != error.message();
        m_failure = error.message();
        if (fresh)
            reportError(error.message());
        return;
    }
    m_failure.clear();
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

QRect TFindWindow::placeBeside(const QRect &keep, const QRect &screen, QSize preferred,
                               QSize minimum, const QMargins &frame)
{
    enum class Side { Right, Below, Left };
    const QSize frameSize(frame.left() + frame.right(), frame.top() + frame.bottom());
    // The client geometry in the room on one side: the frame hugs the kept area and
    // stands level with its top (right or left of it) or its left edge (below it).
    const auto fit = [&](Side side) -> QRect {
        QRect room = screen;
        if (side == Side::Right)
            room.setLeft(keep.right() + 1 + kGap);
        else if (side == Side::Below)
            room.setTop(keep.bottom() + 1 + kGap);
        else
            room.setRight(keep.left() - 1 - kGap);
        const QSize size = preferred.boundedTo(room.size() - frameSize);
        if (size.width() < minimum.width() || size.height() < minimum.height())
            return {};
        const QSize outer = size + frameSize;
        QPoint at(side == Side::Left ? room.right() + 1 - outer.width() : room.left(), room.top());
        if (side == Side::Below)
            at.setX(std::clamp(keep.left(), room.left(), room.right() + 1 - outer.width()));
        else
            at.setY(std::clamp(keep.top(), room.top(), room.bottom() + 1 - outer.height()));
        return {at + QPoint(frame.left(), frame.top()), size};
    };
    QRect best;
    for (const Side side : {Side::Right, Side::Below, Side::Left}) {
        const QRect each = fit(side);
        if (each.isValid() &&
            (!best.isValid() || each.width() * each.height() > best.width() * best.height()))
            best = each;
    }
    return best;
}

namespace {

// What the window system adds around a window's client area; nothing before it is shown.
QMargins frameMargins(const QWidget &window)
{
    const QRect outer = window.frameGeometry();
    const QRect inner = window.geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

} // namespace

void TFindWindow::placeBesideKept()
{
    const QRect keep = m_keepInSight ? m_keepInSight() : QRect();
    const QScreen *screen = keep.isValid() ? QGuiApplication::screenAt(keep.center()) : nullptr;
    if (!screen)
        return;
    // Before the window is first shown its frame is unknown: the window it opens from
    // has one alike.
    QMargins frame = frameMargins(*this);
    if (frame.isNull() && QApplication::activeWindow())
        frame = frameMargins(*QApplication::activeWindow());
    const QRect place =
        placeBeside(keep, screen->availableGeometry(), kPreferredSize, kMinimumSize, frame);
    if (place.isValid())
        setGeometry(place);
}

void TFindWindow::showEvent(QShowEvent *event)
{
    KaxForm::showEvent(event);
    placeBesideKept();
    // Contacts may have changed while the window was hidden.
    if (!Szukaj->text().isEmpty())
        searchNow();
    Szukaj->setFocus();
    Szukaj->selectAll();
}
