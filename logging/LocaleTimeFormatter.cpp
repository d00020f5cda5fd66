#include "logging/LocaleTimeFormatter.h"

#include <QDate>
#include <QLocale>
#include <QTime>

namespace vx {

LocaleTimeFormatter::LocaleTimeFormatter()
    : dateFormat_(QLocale::system().dateFormat(QLocale::ShortFormat)),
      timeFormat_(WithoutTimeZone(QLocale::system().timeFormat(QLocale::LongFormat))) {}

std::string LocaleTimeFormatter::DateText(const LocalDateTime& when) const {
    return QLocale::system()
        .toString(QDate(when.year, when.month, when.day), dateFormat_)
        .toStdString();
}

std::string LocaleTimeFormatter::TimeText(const LocalDateTime& when) const {
    return QLocale::system()
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
