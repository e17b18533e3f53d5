// Writes the application icon as the desktop's icon theme wants it: a PNG per size and an SVG,
// drawn by the same code as the window icon so the menu entry and the window never differ.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>
#include <cstdlib>

#include "widgets/skin_painter.h"

namespace {

bool writePng(const QString& root, int size) {
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
    if (!QDir().mkpath(dir)) return false;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        quorvel::ui::skin::paintApplicationIcon(p, size);
    }
    return image.save(dir + QStringLiteral("/quorvel.png"), "PNG");
}

bool writeSvg(const QString& root) {
    const QString dir = root + QStringLiteral("/scalable/apps");
    if (!QDir().mkpath(dir)) return false;
    constexpr int kSize = 256;
    QSvgGenerator svg;
    svg.setFileName(dir + QStringLiteral("/quorvel.svg"));
    svg.setSize(QSize(kSize, kSize));
    svg.setViewBox(QRect(0, 0, kSize, kSize));
    svg.setTitle(QStringLiteral("QUORVEL"));
    QPainter p;
    if (!p.begin(&svg)) return false;
    quorvel::ui::skin::paintApplicationIcon(p, kSize);
    return p.end();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: quorvel-render-icons HICOLOR_DIR\n", stderr);
        return 2;
    }
    // A build machine has no display; painting into images needs none.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int size : {16, 24, 32, 48, 64, 128, 256, 512}) {
        if (!writePng(root, size)) {
            std::fprintf(stderr, "quorvel-render-icons: cannot write the %dx%d icon under %s\n", size, size,
                         argv[1]);
            return 1;
        }
    }
    if (!writeSvg(root)) {
        std::fprintf(stderr, "quorvel-render-icons: cannot write the scalable icon under %s\n", argv[1]);
        return 1;
    }
    return EXIT_SUCCESS;
}
