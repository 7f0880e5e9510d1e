#include "sync/widgets/carddav_settings_window.h"

#include "forms/form_style.h"
#include "platform/errors.h"
#include "platform/password_store.h"
#include "platform/settings_store.h"
#include "platform/widgets/dialogs.h"
#include "sync/sync_settings.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>

namespace {

const QString kCaption = QStringLiteral("Synchronizacja CardDAV");
// Stands in the empty password field for the password the keyring keeps.
const QString kKeptPassword = QStringLiteral("••••");

QLineEdit *lineEdit(QWidget *parent, const QString &name)
{
    auto *result = new QLineEdit(parent);
    result->setObjectName(name);
    return result;
}

QPushButton *button(QWidget *parent, const QString &name, const QString &text)
{
    auto *result = new QPushButton(text, parent);
    result->setObjectName(name);
    return result;
}

} // namespace

TCardDavWindow::TCardDavWindow(SettingsStore &settings, PasswordStore &keyring, Discovery discover,
                               QWidget *parent)
    : KaxModalWindow(QStringLiteral("CardDavWindow"), kCaption, QSize(480, 318), Cancelled, parent),
      m_settings(settings), m_keyring(keyring), m_discover(std::move(discover))
{
    edtUrl = lineEdit(this, QStringLiteral("edtUrl"));
    edtUrl->setPlaceholderText(QStringLiteral("https://serwer.example.pl/dav/"));
    edtUser = lineEdit(this, QStringLiteral("edtUser"));
    edtHaslo = lineEdit(this, QStringLiteral("edtHaslo"));
    edtHaslo->setEchoMode(QLineEdit::Password);
    edtHaslo->setToolTip(QStringLiteral("Hasło jest przechowywane w pęku kluczy pulpitu, nigdy "
                                        "w pliku ustawień. Puste pole: hasło bez zmian."));
    edtPolecenie = lineEdit(this, QStringLiteral("edtPolecenie"));
    edtPolecenie->setPlaceholderText(QStringLiteral("(opcjonalne)"));
    edtPolecenie->setToolTip(QStringLiteral(
        "Polecenie, którego pierwszy wiersz wyniku jest hasłem, np. pass show carddav.\n"
        "Gdy jest podane, hasło nie jest brane z pęku kluczy."));
    btnZnajdz = button(this, QStringLiteral("btnZnajdz"), QStringLiteral("&Znajdź książki"));
    cbKsiazka = new QComboBox(this);
    cbKsiazka->setObjectName(QStringLiteral("cbKsiazka"));
    lblStan = new QLabel(this);
    lblStan->setObjectName(QStringLiteral("lblStan"));
    lblStan->setWordWrap(true);
    lblStan->setTextFormat(Qt::PlainText);
    lblStan->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    edtInterwal = new QSpinBox(this);
    edtInterwal->setObjectName(QStringLiteral("edtInterwal"));
    edtInterwal->setRange(0, 1440);
    edtInterwal->setSpecialValueText(QStringLiteral("ręcznie"));
    edtInterwal->setToolTip(QStringLiteral("0: synchronizacja tylko na żądanie"));
    btnOK = button(this, QStringLiteral("btnOK"), QStringLiteral("OK"));
    btnAnuluj = button(this, QStringLiteral("btnAnuluj"), QStringLiteral("Anuluj"));

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    const auto row = [this, grid](int at, const QString &name, const QString &text,
                                  QWidget *field) {
        QLabel *caption = FormStyle::buddyLabel(this, text, field);
        caption->setObjectName(name);
        caption->setWordWrap(false);
        grid->addWidget(caption, at, 0);
        grid->addWidget(field, at, 1);
    };
    row(0, QStringLiteral("lblUrl"), QStringLiteral("&Adres serwera:"), edtUrl);
    row(1, QStringLiteral("lblUser"), QStringLiteral("&Użytkownik:"), edtUser);
    row(2, QStringLiteral("lblHaslo"), QStringLiteral("&Hasło:"), edtHaslo);
    row(3, QStringLiteral("lblPolecenie"), QStringLiteral("&Polecenie hasła:"), edtPolecenie);
    grid->addWidget(btnZnajdz, 4, 1, Qt::AlignLeft);
    row(5, QStringLiteral("lblKsiazka"), QStringLiteral("&Książka adresowa:"), cbKsiazka);
    // Room for a server's error with its reasons; it can be selected and copied.
    lblStan->setMinimumHeight(3 * lblStan->fontMetrics().lineSpacing());
    lblStan->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(lblStan, 6, 1);
    row(7, QStringLiteral("lblInterwal"), QStringLiteral("&Co ile minut:"), edtInterwal);
    grid->setAlignment(edtInterwal, Qt::AlignLeft);
    edtInterwal->setMinimumWidth(100);
    grid->setRowStretch(8, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnAnuluj);
    grid->addLayout(buttons, 9, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    setTabOrder(edtUrl, edtUser);
    setTabOrder(edtUser, edtHaslo);
    setTabOrder(edtHaslo, edtPolecenie);
    setTabOrder(edtPolecenie, btnZnajdz);
    setTabOrder(btnZnajdz, cbKsiazka);
    setTabOrder(cbKsiazka, edtInterwal);
    setTabOrder(edtInterwal, btnOK);
    setTabOrder(btnOK, btnAnuluj);

    connect(btnZnajdz, &QPushButton::clicked, this, &TCardDavWindow::btnZnajdzClick);
    connect(btnOK, &QPushButton::clicked, this, &TCardDavWindow::btnOKClick);
    connect(btnAnuluj, &QPushButton::clicked, this, &TCardDavWindow::btnAnulujClick);
    // The kept password belongs to one server and user: another one has none yet.
    connect(edtUrl, &QLineEdit::textChanged, this, &TCardDavWindow::updatePlaceholder);
    connect(edtUser, &QLineEdit::textChanged, this, &TCardDavWindow::updatePlaceholder);
    connect(edtPolecenie, &QLineEdit::textChanged, this, &TCardDavWindow::updatePlaceholder);
}

bool TCardDavWindow::execute(QWidget *parent, SettingsStore &settings, PasswordStore &keyring,
                             Discovery discover)
{
    TCardDavWindow window(settings, keyring, std::move(discover), parent);
    return window.edit();
}

void TCardDavWindow::load()
{
    ++m_search; // an answer still on its way belongs to the fields being replaced
    const CardDavSettings stored = CardDavSettings::load(m_settings);
    m_storedKey.clear();
    if (stored.passwordCommand.trimmed().isEmpty() && !stored.user.isEmpty()) {
        // Only whether the keyring has one: the password itself never enters the window.
        QString password;
        QString error;
        if (m_keyring.read(stored.keyringKey(), &password, &error))
            m_storedKey = stored.keyringKey();
    }
    edtUrl->setText(stored.url);
    edtUser->setText(stored.user);
    edtHaslo->clear();
    edtPolecenie->setText(stored.passwordCommand);
    cbKsiazka->clear();
    cbKsiazka->addItem(QStringLiteral("(adres serwera jest książką)"), QString());
    if (!stored.addressBook.isEmpty()) {
        cbKsiazka->addItem(stored.addressBook, stored.addressBook);
        cbKsiazka->setCurrentIndex(1);
    }
    edtInterwal->setValue(stored.interval);
    btnZnajdz->setEnabled(true);
    showState(QString(), false);
    updatePlaceholder();
    edtUrl->setFocus();
}

bool TCardDavWindow::edit()
{
    load();
    return runModal() == Accepted;
}

CardDavSettings TCardDavWindow::fromFields() const
{
    CardDavSettings settings;
    settings.url = edtUrl->text().trimmed();
    settings.user = edtUser->text().trimmed();
    settings.addressBook = cbKsiazka->currentData().toString();
    settings.interval = edtInterwal->value();
    settings.passwordCommand = edtPolecenie->text().trimmed();
    return settings;
}

QUrl TCardDavWindow::serverAddress() const
{
    CardDavSettings server;
    server.url = edtUrl->text().trimmed();
    return server.book();
}

void TCardDavWindow::updatePlaceholder()
{
    const CardDavSettings current = fromFields();
    const bool kept = !m_storedKey.isEmpty() && current.passwordCommand.isEmpty() &&
                      current.keyringKey() == m_storedKey;
    edtHaslo->setPlaceholderText(kept ? kKeptPassword : QString());
}

void TCardDavWindow::btnZnajdzClick()
{
    const CardDavSettings current = fromFields();
    const QUrl url = serverAddress();
    if (!url.isValid()) {
        showState(QStringLiteral("Podaj adres serwera zaczynający się od http:// lub https://."),
                  true);
        edtUrl->setFocus();
        return;
    }
    QString password = edtHaslo->text();
    if (password.isEmpty() && !current.user.isEmpty()) {
        // Needed now: the command's or the keyring's password, for this search only.
        QString error;
        if (!current.password(m_keyring, &password, &error)) {
            showState(error, true);
            return;
        }
    }
    showState(QStringLiteral("Szukam…"), false);
    btnZnajdz->setEnabled(false);
    const int search = ++m_search;
    QPointer<TCardDavWindow> self(this);
    m_discover(url, current.user, password,
               [self, search](QList<DavAddressBook> books, DavError error) {
                   if (self && self->m_search == search)
                       self->showBooks(books, error);
               });
}

void TCardDavWindow::showBooks(const QList<DavAddressBook> &books, const DavError &error)
{
    btnZnajdz->setEnabled(true);
    if (error) {
        showState(error.message, true);
        return;
    }
    if (books.isEmpty()) {
        showState(QStringLiteral("Na serwerze nie ma książek adresowych."), true);
        return;
    }
    const QString chosen = cbKsiazka->currentData().toString();
    cbKsiazka->clear();
    cbKsiazka->addItem(QStringLiteral("(adres serwera jest książką)"), QString());
    for (const DavAddressBook &book : books) {
        const QString address = book.url.toString();
        cbKsiazka->addItem(book.displayName, address);
        cbKsiazka->setItemData(cbKsiazka->count() - 1, address, Qt::ToolTipRole);
    }
    // The book chosen before stays chosen; otherwise the first one found.
    const int again = chosen.isEmpty() ? -1 : cbKsiazka->findData(chosen);
    cbKsiazka->setCurrentIndex(again > 0 ? again : 1);
    showState(books.size() == 1
                  ? QStringLiteral("Znaleziono 1 książkę adresową.")
                  : QStringLiteral("Znaleziono książki adresowe: %1.").arg(books.size()),
              false);
    cbKsiazka->setFocus();
}

void TCardDavWindow::showState(const QString &text, bool isError)
{
    lblStan->setText(text);
    FormStyle::setTextColour(lblStan,
                             isError ? FormStyle::kMaroon : palette().color(QPalette::WindowText));
}

void TCardDavWindow::btnOKClick()
{
    CardDavSettings settings = fromFields();
    const auto refuse = [this](QWidget *field, const QString &text) {
        showMessage(DialogKind::Warning, kCaption, text);
        field->setFocus();
    };
    if (settings.url.isEmpty())
        return refuse(edtUrl, QStringLiteral("Podaj adres serwera CardDAV."));
    const QUrl server = serverAddress();
    if (!server.isValid())
        return refuse(edtUrl, QStringLiteral("Adres serwera „%1” nie jest adresem http:// ani "
                                             "https://.")
                                  .arg(settings.url));
    settings.url = server.toString(); // as it is used: with its scheme
    if (!edtHaslo->text().isEmpty()) {
        // Only into the keyring; the settings never hold the password.
        QString error;
        if (!m_keyring.write(settings.keyringKey(), edtHaslo->text(), &error)) {
            showMessage(DialogKind::Error, kCaption,
                        QStringLiteral("Nie udało się zapisać hasła w pęku kluczy. %1\nPodaj "
                                       "polecenie hasła albo spróbuj ponownie.")
                            .arg(error));
            edtHaslo->setFocus();
            return;
        }
        m_storedKey = settings.keyringKey();
        edtHaslo->clear();
    }
    try {
        settings.save(m_settings);
    } catch (const KaxError &error) {
        showMessage(DialogKind::Error, kCaption,
                    QStringLiteral("Nie udało się zapisać ustawień w %1: %2")
                        .arg(SettingsStore::defaultPath(), error.message()));
        return;
    }
    emit saved();
    answer(Accepted);
}

void TCardDavWindow::btnAnulujClick()
{
    answer(Cancelled);
}

void TCardDavWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter on a button presses that button; anywhere else it is OK.
        if (auto *focused = qobject_cast<QPushButton *>(focusWidget()))
            focused->click();
        else
            btnOKClick();
        return;
    }
    KaxModalWindow::keyPressEvent(event);
}
