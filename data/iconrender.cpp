// Build tool: renders the program's SVG icon at one size, as the PNG that
// is installed and as the raw premultiplied ARGB32 pixels that the window
// shows without decoding anything at start-up.
//   iconrender ICON.svg SIZE OUT.png OUT.argb32
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 5) {
        std::fputs("usage: iconrender ICON.svg SIZE OUT.png OUT.argb32\n", stderr);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    const int size = QByteArray(argv[2]).toInt();
    if (!renderer.isValid() || size <= 0) {
        std::fprintf(stderr, "iconrender: cannot render %s at %s\n", argv[1], argv[2]);
        return 1;
    }
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    renderer.render(&painter);
    painter.end();

    QSaveFile raw(QString::fromLocal8Bit(argv[4]));
    if (!icon.save(QString::fromLocal8Bit(argv[3]), "PNG") || !raw.open(QIODevice::WriteOnly)
        || raw.write(reinterpret_cast<const char *>(icon.constBits()), icon.sizeInBytes()) != icon.sizeInBytes()
        || !raw.commit()) {
        std::fprintf(stderr, "iconrender: cannot write the icon\n");
        return 1;
    }
    return 0;
}
