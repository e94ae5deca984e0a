// Build tool: writes a PNG's pixels as a C++ array of 0xAARRGGBB values, so the program can
// set its window icon without decoding an image at start (the decoder and the image plugins'
// metadata would stay resident for as long as the meter runs).
//
//   sorvane_iconpixels in.png out.inc
#include <QImage>
#include <QImageReader>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s in.png out.inc\n", argv[0]);
        return 2;
    }
    QImageReader reader(QString::fromLocal8Bit(argv[1]), "png");
    reader.setAutoDetectImageFormat(false);
    const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
    if (image.isNull()) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    std::FILE* out = std::fopen(argv[2], "w");
    if (!out) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    const char* name = std::strrchr(argv[1], '/');
    std::fprintf(out, "// Generated from %s: do not edit.\n", name ? name + 1 : argv[1]);
    std::fprintf(out, "constexpr int kIconWidth = %d;\nconstexpr int kIconHeight = %d;\n",
                 image.width(), image.height());
    std::fprintf(out, "alignas(4) constexpr unsigned int kIconPixels[] = {");
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            std::fprintf(out, "%s0x%08xu,", x % 8 == 0 ? "\n    " : " ", row[x]);
    }
    std::fprintf(out, "\n};\n");
    return std::fclose(out) == 0 ? 0 : 1;
}
