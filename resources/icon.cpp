#include "resources/icon.h"

#include "resources/icon_art.h"

namespace orva::icon {

QPixmap Pixmap() { return QPixmap(QString::fromLatin1(kResourcePath)); }

QIcon WindowIcon() {
  const QImage original(QString::fromLatin1(kResourcePath));
  QIcon icon(QPixmap::fromImage(original));
  // Task bars and switchers ask for larger sizes; give them sharp copies
  // rather than letting them blur the 32 px picture.
  for (const int factor : {2, 4})
    icon.addPixmap(QPixmap::fromImage(ScaleCrisply(original, factor)));
  return icon;
}

}  // namespace orva::icon
