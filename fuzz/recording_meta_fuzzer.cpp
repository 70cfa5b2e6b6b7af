// A recording's side file ("metas/<name>.meta"), as the file manager's list reads it: the row it
// gives and the texts the list shows.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "files/recording_library.h"
#include "fuzz_input.h"

using namespace vortane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static QTemporaryDir folder;
  static const QString recordings = [] {
    QFile lesson(folder.filePath(QStringLiteral("20240101080000m.mp4")));
    if (!lesson.open(QIODevice::WriteOnly)) std::abort();
    QDir().mkpath(folder.filePath(QStringLiteral("metas")));
    return folder.path() + QLatin1Char('/');
  }();
  QFile meta(recordings + QStringLiteral("metas/20240101080000m.mp4.meta"));
  if (!meta.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
  meta.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
  meta.close();

  const std::optional<ListedRecording> row = RecordingLibrary::LoadRecording(
      recordings, recordings + QStringLiteral("metas/"), QStringLiteral("20240101080000m.mp4"),
      [](const QString&) { return 0.0; });
  FUZZ_CHECK(row.has_value());
  const QStringList texts = RecordingRowTexts(*row);
  FUZZ_CHECK(texts.size() == 6);
  return 0;
}
