// A step of the build: writes the pixels of an image (the window icon's PNG) as the program reads
// them, so that it decodes no image at start-up: width and height as two 32-bit numbers, then the
// rows in QImage's ARGB32, all in this machine's byte order.
//   ostrivane_icon_pixels IN.png OUT
#include <QFile>
#include <QImage>
#include <array>
#include <cstdint>
#include <cstdio>

constexpr qint64 kBytesPerPixel = 4;  // ARGB32

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: ostrivane_icon_pixels IN.png OUT\n");
        return 2;
    }
    const QImage image =
        QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_ARGB32);
    if (image.isNull()) {
        std::fprintf(stderr, "ostrivane_icon_pixels: cannot read %s\n", argv[1]);
        return 1;
    }
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "ostrivane_icon_pixels: cannot write %s\n", argv[2]);
        return 1;
    }
    const std::array size{static_cast<std::uint32_t>(image.width()),
                          static_cast<std::uint32_t>(image.height())};
    out.write(reinterpret_cast<const char*>(size.data()), sizeof size);
    for (int y = 0; y < image.height(); ++y) {
        out.write(reinterpret_cast<const char*>(image.constScanLine(y)),
                  static_cast<qint64>(image.width()) * kBytesPerPixel);
    }
    return out.error() == QFileDevice::NoError ? 0 : 1;
}
