#include "exchange/country_names.h"

#include "exchange/countries.h"

#include <QHash>

namespace CountryNames {

QString toPolish(const QString &given)
{
    // Each row: the Polish name as the list spells it, then the names and codes that
    // stand for it, in lower case.
    static const QHash<QString, QString> names = [] {
        const QList<QStringList> rows{
            {"Polska", "poland", "pl", "pol", "polen", "pologne", "polonia", "republic of poland"},
            {"Niemcy", "germany", "de", "deu", "deutschland", "allemagne", "germania"},
            {"Rep.Czeska", "czech republic", "czechia", "cz", "cze", "tschechien", "czechy"},
            {"Słowacja", "slovakia", "sk", "svk", "slowakei"},
            {"Ukraina", "ukraine", "ua", "ukr"},
            {"Litwa", "lithuania", "lt", "ltu", "litauen"},
            {"Rosja", "russia", "russian federation", "ru", "rus", "russland"},
            {"Francja", "france", "fr", "fra", "frankreich"},
            {"Anglia", "united kingdom", "uk", "gb", "gbr", "great britain", "england",
             "wielka brytania"},
            {"USA", "united states", "united states of america", "us", "u.s.a."},
            {"Austria", "at", "aut", "österreich", "osterreich"},
            {"Holandia", "netherlands", "the netherlands", "nl", "nld", "holland", "niederlande"},
            {"Włochy", "italy", "it", "ita", "italien", "italia"},
            {"Szwecja", "sweden", "se", "swe", "schweden"},
            {"Norwegia", "norway", "no", "nor", "norwegen"},
            {"Szwajcaria", "switzerland", "ch", "che", "schweiz"},
            {"Belgia", "belgium", "be", "bel", "belgien"},
            {"Węgry", "hungary", "hu", "hun", "ungarn"},
            {"Słowenia", "slovenia", "si", "svn"},
            {"Chorwacja", "croatia", "hr", "hrv"},
            {"Rumunia", "romania", "ro", "rou"},
            {"Bułgaria", "bulgaria", "bg", "bgr"},
            {"Finlandia", "finland", "fi", "fin"},
            {"Estonia", "ee", "est"},
            {"Grecja", "greece", "gr", "grc"},
            {"Portugalia", "portugal", "pt", "prt"},
            {"Irlandia", "ireland", "ie", "irl"},
            {"Kanada", "canada", "ca", "can"},
            {"Chiny", "china", "cn", "chn"},
            {"Japonia", "japan", "jp", "jpn"},
            {"Turcja", "turkey", "türkiye", "tr", "tur"},
        };
        QHash<QString, QString> map;
        for (const QString &entry : Countries::entryList())
            map.insert(entry.trimmed().toLower(), entry);
        for (const QStringList &row : rows) {
            for (const QString &alias : row.mid(1))
                map.insert(alias, row.first());
        }
        return map;
    }();
    return names.value(given.trimmed().toLower(), given);
}

} // namespace CountryNames
