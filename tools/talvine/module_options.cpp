#include "module_options.h"

#include <QUrl>
#include <algorithm>

namespace talvine {
namespace {

constexpr int kDefaultWidth = 400;
constexpr int kDefaultHeight = 600;
constexpr int kSmallest = 160;
// Away from the screen's right edge and below the toolbar at its top.
constexpr int kDefaultMargin = 20;
constexpr int kDefaultTop = 120;

std::optional<int> Number(const QString& text) {
  bool ok = false;
  const int value = text.toInt(&ok);
  return ok ? std::optional<int>(value) : std::nullopt;
}

}  // namespace

std::optional<ModuleOptions> ParseModuleOptions(const QStringList& arguments) {
  ModuleOptions options;
  bool haveUrl = false;
  for (const QString& argument : arguments) {
    const qsizetype equals = argument.indexOf(QLatin1Char('='));
    const QString name = equals < 0 ? argument : argument.left(equals);
    const QString value = equals < 0 ? QString() : argument.mid(equals + 1);
    if (name == QLatin1String("--url")) {
      // A second page address would mean someone else's word was added to the line.
      if (haveUrl) return std::nullopt;
      haveUrl = true;
      options.url = value;
    } else if (name == QLatin1String("--width")) {
      options.width = Number(value);
    } else if (name == QLatin1String("--height")) {
      options.height = Number(value);
    } else if (name == QLatin1String("--xpos")) {
      options.xpos = Number(value);
    } else if (name == QLatin1String("--ypos")) {
      options.ypos = Number(value);
    } else if (name == QLatin1String("--lock-view")) {
      options.lockView = true;
    }
  }
  if (!IsPageAddress(options.url)) return std::nullopt;
  return options;
}

bool IsPageAddress(const QString& address) {
  const QUrl url(address, QUrl::TolerantMode);
  const QString scheme = url.scheme();
  return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
         !url.host().isEmpty();
}

QRect PlaceModuleWindow(const ModuleOptions& options, const QRect& available) {
  auto size = [](std::optional<int> asked, int fallback, int room) {
    const int wanted = asked && *asked > 0 ? std::max(*asked, kSmallest) : fallback;
    return std::min(wanted, std::max(room, kSmallest));
  };
  const int width = size(options.width, kDefaultWidth, available.width());
  const int height = size(options.height, kDefaultHeight, available.height());
  int x = options.xpos.value_or(available.right() + 1 - width - kDefaultMargin);
  int y = options.ypos.value_or(available.top() + kDefaultTop);
  x = std::clamp(x, available.left(), std::max(available.left(), available.right() + 1 - width));
  y = std::clamp(y, available.top(), std::max(available.top(), available.bottom() + 1 - height));
  return QRect(x, y, width, height);
}

}  // namespace talvine
