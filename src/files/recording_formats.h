#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>

// The texts of the recordings list's columns.
namespace vortane {

// "2016年3月5日 9点7分": local time, nothing zero-padded.
QString FormatFileTime(const QDateTime& time);
// "%.1fMB" below 2^30 bytes, "%.1fGB" from 2^30 bytes on.
QString FormatFileSize(std::int64_t bytes);
// "59秒" below a minute, else "75分3秒" (minutes are not carried into hours).
QString FormatDuration(std::int64_t seconds);

}  // namespace vortane
