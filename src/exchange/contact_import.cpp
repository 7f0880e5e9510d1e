#include "exchange/contact_import.h"

#include "exchange/contact_formats.h"
#include "exchange/database_source.h"
#include "exchange/duplicate_finder.h"
#include "exchange/file_source.h"
#include "exchange/read_ahead.h"
#include "platform/errors.h"
#include "platform/file_access.h"
#include "platform/file_stamp.h"
#include "store/import_journal.h"
#include "store/search_words.h"
#include "store/sql_engine.h"
#include "store/table.h"
#include "store/table_batch.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <chrono>
#include <memory>

namespace ContactImport {

std::optional<Format> formatOf(const QString &path, QString *error)
{
    if (const ContactFormats::FileFormat *format = ContactFormats::forPath(path))
        return format->reader;
    QFile file;
    if (const IoResult opened = FileAccess::openRegular(&file, path); !opened.ok) {
        if (error)
            *error = opened.error;
        return std::nullopt;
    }
    return ContactFormats::forContent(file.read(256)).reader;
}

QString Result::summary() const
{
    const QString summary = QStringLiteral("Dodano %1, zaktualizowano %2, pominięto %3")
                                .arg(added)
                                .arg(updated)
                                .arg(skipped);
    return blank > 0 ? summary + QStringLiteral(", w tym pustych %1").arg(blank) : summary;
}

QString foldedName(const QString &name)
{
    return SearchIndex::fold(name).simplified();
}

namespace {

// Whether a record holds no value at all (a card with nothing but its frame).
bool isBlank(const ContactRecord &record)
{
    return std::all_of(record.values.begin(), record.values.end(),
                       [](const QString &value) { return value.trimmed().isEmpty(); });
}

// Keys under which further values of a kind are compared loosely: the last nine digits
// of telephone and fax numbers, e-mail addresses case-folded, web addresses without
// their scheme, an address by its street and town, anything else folded like names.
QStringList looseKeys(ContactDetail::Kind kind, const QString &value)
{
    QStringList keys;
    switch (kind) {
    case ContactDetail::Phone:
    case ContactDetail::Fax:
        keys = phoneKeys(value);
        break;
    case ContactDetail::Email: {
        static const QRegularExpression separators(QStringLiteral("[,;\\s]+"));
        for (const QString &address : value.split(separators, Qt::SkipEmptyParts))
            if (address.contains(u'@'))
                keys << address.toCaseFolded();
        break;
    }
    case ContactDetail::Web: {
        static const QRegularExpression scheme(QStringLiteral("^[a-z]+://(www\\.)?|^www\\.|/+$"));
        keys << value.trimmed().toLower().remove(scheme);
        break;
    }
    case ContactDetail::Address: {
        const QStringList parts = ContactDetail::splitAddress(value);
        keys << streetKey(parts[2]) + QLatin1Char('\n') + foldedName(parts[3]);
        break;
    }
    default:
        break;
    }
    if (keys.isEmpty())
        keys << foldedName(value);
    return keys;
}

// An address's parts as a further value: the street with its town, post code, region
// and country.
QString addressOf(const ContactRecord &record)
{
    return ContactDetail::joinAddress({QString(), QString(), record[ContactRecord::Ulica],
                                       record[ContactRecord::Miasto], record[ContactRecord::Region],
                                       record[ContactRecord::Kod], record[ContactRecord::Kraj]});
}

// The kind of further value a field's differing value becomes.
struct FurtherField
{
    ContactRecord::Field field;
    ContactDetail::Kind kind;
    bool list; // the field may hold several values, separated by ',' or ';'
};
constexpr FurtherField kFurtherFields[] = {
    {ContactRecord::Tel, ContactDetail::Phone, true},
    {ContactRecord::Fax, ContactDetail::Fax, true},
    {ContactRecord::Email, ContactDetail::Email, true},
    {ContactRecord::Http, ContactDetail::Web, false},
    {ContactRecord::Filia, ContactDetail::Person, false},
};

// Fills the stored contact's empty fields from the incoming one and keeps what else the
// incoming one has as further values of the stored one: a telephone, fax, e-mail or web
// address or representative that differs from the stored field's, an address on another
// street, and the incoming further values the stored one lacks. The stored UID stays,
// and its kept vCard lines unless it had none. False when nothing changed.
bool fillEmpty(ContactRecord *stored, const ContactRecord &incoming)
{
    const ContactRecord before = *stored;
    QList<ContactDetail> &details = stored->extras.details;
    // Whether the stored contact has the value already, in its field or further values.
    const auto present = [&before, &details](ContactDetail::Kind kind, const QString &value) {
        QStringList known;
        for (const FurtherField &further : kFurtherFields)
            if (further.kind == kind)
                known << looseKeys(kind, before[further.field]);
        if (kind == ContactDetail::Address)
            known << looseKeys(kind, addressOf(before));
        for (const ContactDetail &detail : std::as_const(details))
            if (detail.kind == kind)
                known << looseKeys(kind, detail.value);
        const QStringList keys = looseKeys(kind, value);
        return std::all_of(keys.begin(), keys.end(),
                           [&known](const QString &key) { return known.contains(key); });
    };
    const auto add = [&](const ContactDetail &detail) {
        if (!detail.value.trimmed().isEmpty() && !present(detail.kind, detail.value))
            details << detail;
    };
    for (std::size_t i = 0; i < stored->values.size(); ++i) {
        if (stored->values[i].trimmed().isEmpty() && !incoming.values[i].trimmed().isEmpty())
            stored->values[i] = incoming.values[i];
    }
    for (const FurtherField &further : kFurtherFields) {
        if (before[further.field].trimmed().isEmpty())
            continue;
        const QString &value = incoming[further.field];
        static const QRegularExpression separators(QStringLiteral("[,;]"));
        const QStringList parts =
            further.list ? value.split(separators, Qt::SkipEmptyParts) : QStringList{value};
        for (const QString &part : parts)
            add({further.kind, QString(), QString(), part.trimmed()});
    }
    if (!streetKey(before[ContactRecord::Ulica]).isEmpty() &&
        !streetKey(incoming[ContactRecord::Ulica]).isEmpty())
        add({ContactDetail::Address, QString(), QString(), addressOf(incoming)});
    for (const ContactDetail &detail : incoming.extras.details)
        add(detail);
    if (stored->extras.kept.isEmpty())
        stored->extras.kept = incoming.extras.kept;
    return *stored != before;
}

// The share of an import's progress, in per cent, that reading the file takes; indexing
// what was read and committing take the rest.
constexpr int kReadShare = 60;

Result failed(const QString &message)
{
    Result result;
    result.error = message;
    return result;
}

} // namespace

Result importFile(TTable &contacts, const QString &path, const Options &options)
{
    QFile file;
    if (const IoResult opened = FileAccess::openRegular(&file, path); !opened.ok)
        return failed(QStringLiteral("Nie można odczytać pliku %1: %2").arg(path, opened.error));
    StoppableFile reading(&file);
    std::unique_ptr<Source> source;
    if (options.format == Format::VCard) {
        source = std::make_unique<VCardSource>(&reading);
    } else if (options.format == Format::Database) {
        if (!ContactFormats::read(Format::Database).recognises(file.read(256)))
            return failed(QStringLiteral("To nie jest baza danych Kartax2000: %1").arg(path));
        // Reading the table while writing it would copy the contacts just copied: the
        // same file by any name (a link, another path to it) is refused.
        const FileStamp from = FileStamp::of(path);
        const FileStamp into = FileStamp::of(contacts.path());
        const bool same = from.inode != 0 ? from.sameFile(into)
                                          : QFileInfo(path).canonicalFilePath() ==
                                                QFileInfo(contacts.path()).canonicalFilePath();
        if (contacts.engine()->inFile() && same)
            return failed(QStringLiteral("Baza %1 jest tą, do której importujesz: nie można "
                                         "zaimportować bazy do niej samej.")
                              .arg(path));
        auto database = std::make_unique<DatabaseSource>(path);
        if (const QString error = database->check(); !error.isEmpty())
            return failed(error);
        source = std::move(database);
    } else {
        auto csv = std::make_unique<CsvSource>(&reading, options.encoding);
        if (!csv->reader().open())
            return failed(QStringLiteral("Plik %1, wiersz %2: %3\nNic nie zaimportowano.")
                              .arg(path)
                              .arg(csv->reader().errorLine())
                              .arg(csv->reader().errorString()));
        if (!options.mapping.isEmpty())
            csv->reader().setMapping(options.mapping);
        if (!csv->reader().fillsContacts())
            return failed(
                QStringLiteral("Żadna kolumna pliku %1 nie odpowiada polom kontaktu.").arg(path));
        source = std::move(csv);
    }
    const auto nothingImported = [&](qint64 line, const QString &why) {
        return failed(QStringLiteral("Plik %1, wiersz %2: %3\nNic nie zaimportowano.")
                          .arg(path)
                          .arg(line)
                          .arg(why));
    };

    Result result;
    qint64 line = 0; // where the contact being written ends in the file
    try {
        TableBatch batch(contacts);
        // What the import adds and updates, so that it can be undone: in its transaction.
        ImportJournal journal(contacts.database(), contacts.tableName(), contacts.fieldNames());
        const RecordPlaces places(contacts.fieldNames());
        DuplicateFinder finder;
        finder.addStored(batch);

        std::optional<Decision> always;
        qint64 read = 0;
        // Names, sort keys, search text and duplicate keys are made on the reading
        // thread, which has time to spare while this one writes. A database's
        // contacts are the program's own and are copied as they are.
        const bool naming = options.format != Format::Database;
        ReadAhead reader(*source, [&batch, &places, naming](ReadAhead::Read *read) {
            read->blank = naming && isBlank(read->record);
            if (read->blank)
                return;
            if (naming)
                nameIfNameless(&read->record);
            read->row = batch.prepare(places.values(read->record), read->record.extras);
            read->keys = Keys::from(read->record);
        });
        ReadAhead::Batch chunk;
        const auto cancelled = [&result] {
            result = failed(QStringLiteral("Import przerwano; nic nie zaimportowano."));
            result.cancelled = true;
            return result;
        };
        int fileRead = 0; // per cent
        for (;;) {
            // While the file's next contacts are still being read, their text waits to be
            // indexed: this thread indexes what was written so far.
            if (!reader.ready())
                batch.indexWaitingText();
            // A file that is long in coming (a great stretch without a contact) still
            // lets the user cancel.
            const ReadAhead::Next next = reader.next(&chunk, std::chrono::milliseconds(100));
            if (next == ReadAhead::Next::End)
                break;
            if (next == ReadAhead::Next::Waiting) {
                if (options.progress && !options.progress(read, fileRead * kReadShare / 100))
                    return cancelled();
                continue;
            }
            fileRead = chunk.percent;
            for (ReadAhead::Read &item : chunk.records) {
                line = item.line;
                ContactRecord &record = item.record;
                ++read;
                if (item.blank) {
                    ++result.skipped;
                    ++result.blank;
                    continue;
                }
                ContactRecord stored;
                Match match = Match::None;
                // Once every duplicate is to be added anyway, none needs finding.
                const bool addingAll = always && always->choice == Choice::Add;
                const qint64 storedId =
                    addingAll ? -1 : finder.find(item.keys, batch, places, &stored, &match);
                Choice choice = Choice::Add;
                if (storedId >= 0) {
                    Decision decision;
                    if (always)
                        decision = *always;
                    else if (options.askDuplicate)
                        decision = options.askDuplicate({record, stored, reasonOf(match)});
                    if (decision.forAllTheRest)
                        always = decision;
                    choice = decision.choice;
                }
                if (choice == Choice::Add) {
                    // The table keeps each UID once: a contact added beside the one that
                    // has its UID keeps the UID it is given.
                    if (finder.uidTaken(record.extras.uid, batch)) {
                        record.extras.uid.clear();
                        item.row.uid.clear();
                        item.keys.uid.clear();
                    }
                    const qint64 id = batch.insert(item.row);
                    journal.added(id);
                    if (!addingAll)
                        finder.add(id, item.keys);
                    else
                        finder.addUid(id, item.keys.uid);
                    ++result.added;
                    if (result.firstId < 0)
                        result.firstId = id;
                } else if (choice == Choice::UpdateEmpty) {
                    const ContactExtras extras = stored.extras;
                    if (!fillEmpty(&stored, record)) {
                        ++result.skipped;
                        continue;
                    }
                    const QStringList before = batch.values(storedId);
                    const ContactExtras extrasBefore = batch.extras(storedId);
                    // The search text takes in the further values stored, so they go first.
                    if (stored.extras != extras)
                        batch.writeExtras(storedId, stored.extras);
                    const QStringList after = places.values(stored);
                    batch.update(storedId, after);
                    journal.updated(storedId, before, extrasBefore, after, batch.extras(storedId));
                    finder.add(storedId, Keys::from(stored));
                    ++result.updated;
                    if (result.firstId < 0)
                        result.firstId = storedId;
                } else {
                    ++result.skipped;
                }
            }
            if (options.progress && !options.progress(read, chunk.percent * kReadShare / 100))
                return cancelled();
        }
        if (!source->error().isEmpty())
            return nothingImported(source->errorLine(), source->error());
        if (read == 0 && source->unusable() == 0)
            return failed(QStringLiteral("W pliku %1 nie znaleziono żadnych kontaktów.").arg(path));
        result.skipped += source->unusable();
        result.notices = source->notices();
        journal.finish(QFileInfo(path).absoluteFilePath());
        const bool committed = batch.commit([&options, read](int percent) {
            return !options.progress ||
                   options.progress(read, kReadShare + percent * (100 - kReadShare) / 100);
        });
        if (!committed)
            return cancelled();
    } catch (const KaxError &error) {
        // A server that went away leaves the driver closed; the client library's own
        // text (in English) adds nothing to that.
        if (contacts.engine()->connectionLost(contacts.database()))
            return nothingImported(
                line, QStringLiteral("Połączenie z serwerem bazy danych (%1) zostało zerwane.")
                          .arg(contacts.path()));
        return nothingImported(line, error.message());
    }
    result.ok = true;
    if (result.firstId >= 0)
        contacts.locate(result.firstId);
    return result;
}

} // namespace ContactImport
