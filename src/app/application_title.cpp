#include "app/application_title.h"

namespace {
QString &applicationTitle()
{
    static QString title;
    return title;
}
} // namespace

void ApplicationTitle::set(const QString &title)
{
    applicationTitle() = title;
}

QString ApplicationTitle::get()
{
    return applicationTitle();
}
