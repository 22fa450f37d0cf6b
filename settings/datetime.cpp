#include "settings/datetime.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace {

constexpr double MSecsPerDay = 86400000.0;

qint64 EpochDay() {
    static const qint64 day = QDate(1899, 12, 30).toJulianDay();
    return day;
}

TDateTime FromQDateTime(const QDateTime& when) {
    const qint64 days = when.date().toJulianDay() - EpochDay();
    return static_cast<double>(days) + when.time().msecsSinceStartOfDay() / MSecsPerDay;
}

// The whole days count towards the date; the fraction, whatever the sign, is the time of day.
QTime TimeOf(TDateTime value) {
    double whole = 0;
    const double fraction = std::fabs(std::modf(value, &whole));
    const auto msecs = static_cast<int>(std::llround(fraction * MSecsPerDay) % 86400000LL);
    return QTime::fromMSecsSinceStartOfDay(msecs);
}

QDateTime ToQDateTime(TDateTime value) {
    const QDate date = QDate::fromJulianDay(EpochDay() + static_cast<qint64>(std::trunc(value)));
    return QDateTime(date, TimeOf(value));
}

// The separator the locale puts between hours and minutes; ':' when its format does not show one.
QString TimeSeparator() {
    const QString format = QLocale::system().timeFormat(QLocale::ShortFormat);
    const qsizetype hour = format.indexOf(QRegularExpression(QStringLiteral("[hH]")));
    if (hour < 0) return QStringLiteral(":");
    qsizetype from = hour;
    while (from < format.size() && (format[from] == u'h' || format[from] == u'H'))
        ++from;
    const qsizetype minute = format.indexOf(u'm', from);
    const QString separator = minute < 0 ? QString() : format.mid(from, minute - from);
    for (QChar c : separator)
        if (c.isLetterOrNumber() || c == u'\'') return QStringLiteral(":");
    return separator.isEmpty() ? QStringLiteral(":") : separator;
}

QString ShortFormat() {
    const QLocale locale = QLocale::system();
    return locale.dateFormat(QLocale::ShortFormat) + u' ' + locale.timeFormat(QLocale::ShortFormat);
}

// Two-digit years fall within fifty years of today, as users of such formats expect.
QDate WithCentury(QDate date, const QString& format) {
    if (format.contains(QStringLiteral("yyyy")) || !format.contains(QStringLiteral("yy"))) return date;
    const int thisYear = QDate::currentDate().year();
    int year = date.year() % 100 + (thisYear / 100) * 100;
    if (year < thisYear - 50)
        year += 100;
    else if (year >= thisYear + 50)
        year -= 100;
    return QDate(year, date.month(), date.day());
}

} // namespace

TDateTime Now() {
    return FromQDateTime(QDateTime::currentDateTime());
}

TDateTime UnixTimeToDateTime(long long secondsSinceEpoch) {
    return FromQDateTime(QDateTime::fromSecsSinceEpoch(secondsSinceEpoch));
}

std::string FormatElapsed(TDateTime value) {
    const QTime time = TimeOf(value);
    const QString separator = TimeSeparator();
    const auto twoDigits = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QChar(u'0')); };
    const QString text = QString::number(time.hour()) + separator + twoDigits(time.minute()) + separator +
                         twoDigits(time.second());
    return text.toLocal8Bit().toStdString();
}

std::string FormatShortDateTime(TDateTime value) {
    const QLocale locale = QLocale::system();
    const QDateTime when = ToQDateTime(value);
    const QString text = locale.toString(when.date(), QLocale::ShortFormat) + u' ' +
                         locale.toString(when.time(), QLocale::ShortFormat);
    return text.toLocal8Bit().toStdString();
}

TDateTime ParseShortDateTime(const std::string& text) {
    const QString format = ShortFormat();
    QDateTime when = QLocale::system().toDateTime(QString::fromLocal8Bit(text.c_str()).trimmed(), format);
    if (!when.isValid()) return 0;
    when.setDate(WithCentury(when.date(), QLocale::system().dateFormat(QLocale::ShortFormat)));
    return FromQDateTime(when);
}
