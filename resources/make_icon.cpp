// Writes ORVA's icon, or a larger crisp copy of it:
//   make-icon draw OUTPUT.png             the 32 x 32 original (resources/orva.png)
//   make-icon scale INPUT.png SIZE OUTPUT.png
//                                         SIZE a multiple of 32, for the desktop
//   make-icon ico OUTPUT.ico              the Windows icon (resources/orva.ico)
#include <QFile>
#include <charconv>
#include <iostream>
#include <string_view>

#include "resources/icon_art.h"

namespace {

constexpr std::string_view kUsage =
    "usage: make-icon draw OUTPUT.png\n"
    "       make-icon scale INPUT.png SIZE OUTPUT.png\n"
    "       make-icon ico OUTPUT.ico\n";

int Fail(std::string_view why) {
  std::cerr << "make-icon: " << why << '\n';
  return 1;
}

int Save(const QImage& image, const char* path) {
  if (!image.save(QString::fromLocal8Bit(path), "PNG")) {
    return Fail(std::string("cannot write ") + path);
  }
  return 0;
}

int SaveIco(const char* path) {
  QFile file(QString::fromLocal8Bit(path));
  const QByteArray bytes = orva::icon::WindowsIconFile();
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
    return Fail(std::string("cannot write ") + path);
  }
  return 0;
}

int Scale(const char* input, std::string_view size_text, const char* output) {
  int size = 0;
  const auto [end, error] =
      std::from_chars(size_text.data(), size_text.data() + size_text.size(), size);
  if (error != std::errc() || end != size_text.data() + size_text.size()) {
    return Fail("SIZE must be a whole number of pixels");
  }
  const QImage source(QString::fromLocal8Bit(input));
  if (source.isNull()) return Fail(std::string("cannot read an image from ") + input);
  if (source.width() != source.height() || size % source.width() != 0) {
    return Fail("SIZE must be a multiple of the square source's side");
  }
  const QImage scaled = orva::icon::ScaleCrisply(source, size / source.width());
  if (scaled.isNull()) return Fail("SIZE is out of range");
  return Save(scaled, output);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view command = argc > 1 ? argv[1] : "";
  if (command == "draw" && argc == 3) return Save(orva::icon::DrawIcon(), argv[2]);
  if (command == "ico" && argc == 3) return SaveIco(argv[2]);
  if (command == "scale" && argc == 5) return Scale(argv[2], argv[3], argv[4]);
  std::cerr << kUsage;
  return 2;
}
