#include "files/recording_formats.h"

namespace vortane {

QString FormatFileTime(const QDateTime& time) {
  const QDateTime local = time.toLocalTime();
  const QDate date = local.date();
  const QTime clock = local.time();
  return QStringLiteral("%1年%2月%3日 %4点%5分")
      .arg(date.year())
      .arg(date.month())
      .arg(date.day())
      .arg(clock.hour())
      .arg(clock.minute());
}

QString FormatFileSize(std::int64_t bytes) {
  constexpr double kMegabyte = 1024.0 * 1024.0;
  constexpr double kGigabyte = kMegabyte * 1024.0;
  if (bytes < static_cast<std::int64_t>(kGigabyte))
    return QString::asprintf("%.1fMB", static_cast<double>(bytes) / kMegabyte);
  return QString::asprintf("%.1fGB", static_cast<double>(bytes) / kGigabyte);
}

QString FormatDuration(std::int64_t seconds) {
  if (seconds / 60 == 0) return QStringLiteral("%1秒").arg(seconds);
  return QStringLiteral("%1分%2秒").arg(seconds / 60).arg(seconds % 60);
}

}  // namespace vortane
