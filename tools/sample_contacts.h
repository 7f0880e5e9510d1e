#pragma once

// Realistic Polish sample contacts for tools and benchmarks: repeated names,
// Polish letters in every field, and some empty fields, from a fixed seed.

#include <QString>
#include <QStringList>
#include <random>

namespace sample {

struct Contact
{
    QStringList values; // the thirteen fields in table order
};

class ContactGenerator
{
public:
    explicit ContactGenerator(unsigned seed = 2000) : m_random(seed) {}

    Contact next()
    {
        static const QStringList surnames{
            "Nowak",       "Kowalski",    "Wiśniewski",  "Wójcik",      "Kowalczyk",    "Kamiński",
            "Lewandowski", "Zieliński",   "Szymański",   "Woźniak",     "Dąbrowski",    "Kozłowski",
            "Jankowski",   "Mazur",       "Kwiatkowski", "Krawczyk",    "Piotrowski",   "Grabowski",
            "Nowakowski",  "Pawłowski",   "Michalski",   "Nowicki",     "Adamczyk",     "Dudek",
            "Zając",       "Wieczorek",   "Jabłoński",   "Król",        "Majewski",     "Olszewski",
            "Jaworski",    "Wróbel",      "Malinowski",  "Pawlak",      "Witkowski",    "Walczak",
            "Stępień",     "Górski",      "Rutkowski",   "Michalak",    "Sikora",       "Ostrowski",
            "Baran",       "Duda",        "Szewczyk",    "Tomaszewski", "Pietrzak",     "Marciniak",
            "Wróblewski",  "Zalewski",    "Jakubowski",  "Jasiński",    "Zawadzki",     "Sadowski",
            "Bąk",         "Chmielewski", "Włodarczyk",  "Borkowski",   "Czarnecki",    "Sawicki",
            "Sokołowski",  "Urbański",    "Kubiak",      "Maciejewski", "Szczepański",  "Kucharski",
            "Wilk",        "Kalinowski",  "Lis",         "Mazurek",     "Wysocki",      "Adamski",
            "Kaźmierczak", "Wasilewski",  "Sobczak",     "Czerwiński",  "Andrzejewski", "Cieślak",
            "Głowacki",    "Zakrzewski",  "Kołodziej",   "Sikorski",    "Krajewski",    "Gajewski",
            "Szymczak",    "Szulc",       "Baranowski",  "Laskowski",   "Brzeziński",   "Makowski",
            "Ziółkowski",  "Przybylski",  "Żak",         "Łukasik",     "Ćwikła",       "Śliwiński",
            "Źrałek",      "Żmuda",       "Łuczak",      "Ślusarczyk",  "Ożóg"};
        static const QStringList firstNames{
            "Jan",        "Anna",     "Piotr",     "Maria",   "Krzysztof", "Katarzyna", "Andrzej",
            "Małgorzata", "Tomasz",   "Agnieszka", "Paweł",   "Barbara",   "Michał",    "Ewa",
            "Marcin",     "Elżbieta", "Łukasz",    "Zofia",   "Grzegorz",  "Joanna",    "Józef",
            "Jadwiga",    "Wojciech", "Danuta",    "Mikołaj", "Jolanta",   "Stanisław", "Urszula",
            "Bożena",     "Zbigniew", "Świętosław"};
        static const QStringList forms{"PPHU %1",       "%1 i Wspólnicy",
                                       "%1 Sp. z o.o.", "Zakład Usługowy %1",
                                       "Hurtownia %1",  "%1 S.A.",
                                       "F.H. %1",       "Przedsiębiorstwo %1",
                                       "%1 s.c.",       "%1"};
        static const QStringList words{"Bałtyk", "Wisła",  "Tatry", "Mazowsze", "Pomorze", "Śląsk",
                                       "Żuraw",  "Orzeł",  "Łoś",   "Jantar",   "Sokół",   "Polmos",
                                       "Ćma",    "Źródło", "Dąb",   "Jawor"};
        static const QStringList branches{"Budownictwo",
                                          "Meble",
                                          "Informatyka",
                                          "Handel hurtowy",
                                          "Usługi transportowe",
                                          "Żywność",
                                          "Środki czystości",
                                          "Ogrodnictwo",
                                          "Łożyska",
                                          "Elektronika",
                                          "Materiały biurowe",
                                          "Drukarnia",
                                          "Poligrafia",
                                          "Rolnictwo",
                                          "Hotelarstwo",
                                          "Gastronomia",
                                          "Ubezpieczenia",
                                          "Księgowość",
                                          "Ślusarstwo",
                                          "Stolarstwo",
                                          "Tekstylia",
                                          "Farmacja",
                                          "Motoryzacja",
                                          "Źródła energii",
                                          "Instalacje wodne"};
        static const QStringList cities{"Warszawa",
                                        "Kraków",
                                        "Łódź",
                                        "Wrocław",
                                        "Poznań",
                                        "Gdańsk",
                                        "Szczecin",
                                        "Bydgoszcz",
                                        "Lublin",
                                        "Białystok",
                                        "Katowice",
                                        "Gdynia",
                                        "Częstochowa",
                                        "Radom",
                                        "Toruń",
                                        "Sosnowiec",
                                        "Kielce",
                                        "Rzeszów",
                                        "Gliwice",
                                        "Zabrze",
                                        "Olsztyn",
                                        "Bielsko-Biała",
                                        "Bytom",
                                        "Zielona Góra",
                                        "Rybnik",
                                        "Ruda Śląska",
                                        "Opole",
                                        "Tychy",
                                        "Gorzów Wielkopolski",
                                        "Elbląg",
                                        "Płock",
                                        "Wałbrzych",
                                        "Włocławek",
                                        "Tarnów",
                                        "Chorzów",
                                        "Koszalin",
                                        "Kalisz",
                                        "Legnica",
                                        "Grudziądz",
                                        "Słupsk",
                                        "Jaworzno",
                                        "Jastrzębie-Zdrój",
                                        "Nowy Sącz",
                                        "Jelenia Góra",
                                        "Siedlce",
                                        "Mysłowice",
                                        "Konin",
                                        "Piła",
                                        "Piotrków Trybunalski",
                                        "Inowrocław",
                                        "Łomża",
                                        "Żory",
                                        "Świdnica"};
        static const QStringList regions{"mazowieckie",
                                         "małopolskie",
                                         "łódzkie",
                                         "dolnośląskie",
                                         "wielkopolskie",
                                         "pomorskie",
                                         "zachodniopomorskie",
                                         "kujawsko-pomorskie",
                                         "lubelskie",
                                         "podlaskie",
                                         "śląskie",
                                         "świętokrzyskie",
                                         "podkarpackie",
                                         "warmińsko-mazurskie",
                                         "opolskie",
                                         "lubuskie"};
        static const QStringList streets{"Marszałkowska", "Piłsudskiego", "Mickiewicza",
                                         "Słowackiego",   "Kościuszki",   "Długa",
                                         "Krótka",        "Polna",        "Leśna",
                                         "Ogrodowa",      "Lipowa",       "Szkolna",
                                         "Źródlana",      "Żeromskiego",  "Świętokrzyska",
                                         "Łąkowa",        "Grunwaldzka",  "Wojska Polskiego",
                                         "Jana Pawła II", "3 Maja",       "Sienkiewicza",
                                         "Kolejowa",      "Przemysłowa"};
        static const QStringList countries{"Polska",     "Polska",   "Polska", "Polska", "Niemcy",
                                           "Rep.Czeska", "Słowacja", "Litwa",  "Ukraina"};
        static const QStringList notes{
            "Stały klient, rabat 5%.",
            "Dzwonić po godzinie 10:00.",
            "Faktury wysyłać pocztą.\r\nKontakt w sprawie zamówień: sekretariat.",
            "Spotkanie na targach w Poznaniu.",
            "Zalega z płatnością za maj.",
            ""};

        const QString surname = pick(surnames);
        QString name = pick(forms).arg(chance(30) ? pick(words) : surname);
        if (chance(5))
            name = name.toUpper();
        const QString branch = chance(8) ? QString() : pick(branches);
        const QString representative =
            chance(12) ? QString() : pick(firstNames) + QLatin1Char(' ') + pick(surnames);
        const QString city = pick(cities);
        const QString code = QStringLiteral("%1-%2")
                                 .arg(number(0, 99), 2, 10, QLatin1Char('0'))
                                 .arg(number(0, 999), 3, 10, QLatin1Char('0'));
        const QString street = QStringLiteral("ul. %1 %2").arg(pick(streets)).arg(number(1, 180));
        const QString phone = chance(10) ? QString()
                                         : QStringLiteral("%1 %2 %3 %4")
                                               .arg(number(12, 99))
                                               .arg(number(100, 999))
                                               .arg(number(10, 99))
                                               .arg(number(10, 99));
        const QString fax = chance(60) ? QString() : phone;
        const QString host = asciiFolded(surname).toLower();
        const QString email = chance(25) ? QString() : QStringLiteral("biuro@%1.pl").arg(host);
        const QString http = chance(35) ? QString() : QStringLiteral("www.%1.com.pl").arg(host);
        const QString note = chance(70) ? QString() : pick(notes);
        return {{name, branch, representative, pick(countries), city, code, street, pick(regions),
                 phone, fax, email, http, note}};
    }

private:
    const QString &pick(const QStringList &list)
    {
        return list[std::uniform_int_distribution<int>(0, int(list.size()) - 1)(m_random)];
    }
    int number(int low, int high)
    {
        return std::uniform_int_distribution<int>(low, high)(m_random);
    }
    bool chance(int percent) { return number(0, 99) < percent; }

    static QString asciiFolded(const QString &text)
    {
        static const QString from = QStringLiteral("ąćęłńóśźżĄĆĘŁŃÓŚŹŻ");
        static const QString to = QStringLiteral("acelnoszzACELNOSZZ");
        QString folded = text;
        for (QChar &c : folded) {
            const auto at = from.indexOf(c);
            if (at >= 0)
                c = to[at];
        }
        return folded;
    }

    std::mt19937 m_random;
};

} // namespace sample
