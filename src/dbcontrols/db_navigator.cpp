#include "dbcontrols/db_navigator.h"

#include "dbcontrols/field_data_link.h"
#include "platform/widgets/dialogs.h"
#include "store/data_source.h"
#include "store/table.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QToolButton>

namespace {

const char *const kObjectNames[DBNavigator::kButtonCount] = {
    "first", "prior", "next", "last", "insert", "delete", "edit", "post", "cancel", "refresh"};

const char *const kIcons[DBNavigator::kButtonCount] = {
    "nav-first",  "nav-prior", "nav-next", "nav-last",   "nav-insert",
    "nav-delete", "nav-edit",  "nav-post", "nav-cancel", "nav-refresh"};

QStringList defaultHints()
{
    return {QStringLiteral("pierwszy"), QStringLiteral("poprzedni"), QStringLiteral("następny"),
            QStringLiteral("ostatni"),  QStringLiteral("dodaj"),     QStringLiteral("usuń"),
            QStringLiteral("edytuj"),   QStringLiteral("zapisz"),    QStringLiteral("kasuj"),
            QStringLiteral("odśwież")};
}

} // namespace

DBNavigator::DBNavigator(const QString &name, const QList<Button> &visible, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(name);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < kButtonCount; ++i) {
        auto *button = new QToolButton(this);
        button->setObjectName(QLatin1String(kObjectNames[i]));
        button->setAutoRaise(true);
        button->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(kIcons[i]))));
        button->setIconSize(QSize(16, 16));
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setFocusPolicy(Qt::StrongFocus);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        button->setVisible(visible.contains(Button(i)));
        layout->addWidget(button);
        m_buttons[i] = button;
        connect(button, &QToolButton::clicked, this, [this, i] { btnClick(Button(i)); });
    }
    setHints(defaultHints());
    updateButtons();
}

QString DBNavigator::buttonObjectName(Button which)
{
    return QLatin1String(kObjectNames[which]);
}

void DBNavigator::setHints(const QStringList &hints)
{
    for (int i = 0; i < kButtonCount && i < hints.size(); ++i) {
        m_buttons[i]->setToolTip(hints[i]);
        m_buttons[i]->setAccessibleName(hints[i]);
    }
}

void DBNavigator::setDataSource(TDataSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (m_source) {
        connect(m_source, &TDataSource::dataSetChanged, this, &DBNavigator::updateButtons);
        connect(m_source, &TDataSource::stateChanged, this, &DBNavigator::updateButtons);
    }
    updateButtons();
}

void DBNavigator::updateButtons()
{
    const TTable *table = m_source ? m_source->dataSet() : nullptr;
    const bool active = table && table->active();
    const bool editing = active && table->editing();
    const bool empty = !active || table->isEmpty();
    const bool upEnabled = active && !empty && (editing || !table->atFirst());
    const bool downEnabled = active && !empty && (editing || !table->atLast());
    m_buttons[First]->setEnabled(upEnabled);
    m_buttons[Prior]->setEnabled(upEnabled);
    m_buttons[Next]->setEnabled(downEnabled);
    m_buttons[Last]->setEnabled(downEnabled);
    m_buttons[Insert]->setEnabled(active);
    m_buttons[Delete]->setEnabled(active && !empty);
    m_buttons[Edit]->setEnabled(active && !editing);
    m_buttons[Post]->setEnabled(editing);
    m_buttons[Cancel]->setEnabled(editing);
    m_buttons[Refresh]->setEnabled(active);
}

void DBNavigator::btnClick(Button which)
{
    TTable *table = m_source ? m_source->dataSet() : nullptr;
    if (!table || !table->active())
        return;
    switch (which) {
    case First:
        table->first();
        break;
    case Prior:
        table->prior();
        break;
    case Next:
        table->next();
        break;
    case Last:
        table->last();
        break;
    case Insert:
        table->insert();
        break;
    case Delete: {
        if (m_confirmDelete) {
            DialogRequest request;
            request.kind = DialogKind::Confirmation;
            request.caption = QStringLiteral("Confirm");
            request.text = QStringLiteral("Delete record?");
            request.buttons = {DialogButton::Ok, DialogButton::Cancel};
            request.defaultButton = DialogButton::Ok;
            request.escapeButton = DialogButton::Cancel;
            if (Dialogs::current().ask(request) != DialogButton::Ok)
                return;
        }
        table->deleteRecord();
        break;
    }
    case Edit:
        table->edit();
        break;
    case Post:
        table->post();
        break;
    case Cancel:
        table->cancel();
        break;
    case Refresh:
        table->refresh();
        break;
    }
    updateButtons();
}
