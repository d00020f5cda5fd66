#include "logging/LocaleTimeFormatter.h"

#include <QDate>
#include <QLocale>
#include <QTime>

namespace vx {

LocaleTimeFormatter::LocaleTimeFormatter()
    : locale_(QLocale::system()),
      dateFormat_(locale_.dateFormat(QLocale::ShortFormat)),
      timeFormat_(WithoutTimeZone(locale_.timeFormat(QLocale::LongFormat))) {}

std::unique_ptr<LogTimeFormatter> LocaleTimeFormatter::Clone() const {
    // Qt's implicitly shared values may be copied to another thread and used there.
    return std::make_unique<LocaleTimeFormatter>(*this);
}

std::string LocaleTimeFormatter::DateText(const LocalDateTime& when) const {
    return locale_.toString(QDate(when.year, when.month, when.day), dateFormat_).toStdString();
}

std::string LocaleTimeFormatter::TimeText(const LocalDateTime& when) const {
    return locale_
        .toString(QTime(when.hour, when.minute, when.second, when.millisecond), timeFormat_)
        .toStdString();
}

QString LocaleTimeFormatter::WithoutTimeZone(const QString& format) {
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'') {
            quoted = !quoted;
        }
        if (!quoted && c == u't') {
            continue;
        }
        result += c;
    }
    return result.simplified();
}

}  // namespace vx
