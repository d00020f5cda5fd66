#pragma once
// Dates and times of log files in the user's regional formats: the short date format and the
// long time format of the system locale.

#include "logging/LogText.h"

#include <QLocale>
#include <QString>

namespace vx {

class LocaleTimeFormatter : public LogTimeFormatter {
public:
    LocaleTimeFormatter();
    std::unique_ptr<LogTimeFormatter> Clone() const override;
    std::string DateText(const LocalDateTime& when) const override;
    std::string TimeText(const LocalDateTime& when) const override;

    // Qt's long time formats end with the time zone ("14:05:03 CET"); the regional long time
    // the log's readers expect is hours, minutes and seconds only. Quoted text is kept.
    static QString WithoutTimeZone(const QString& format);

private:
    // A copy of the system locale taken on the user-interface thread: clones format on the log
    // writers' threads, where QLocale::system(), which reads state the toolkit may change, is
    // not called.
    QLocale locale_;
    QString dateFormat_;
    QString timeFormat_;
};

}  // namespace vx
