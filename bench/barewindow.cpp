// The toolkit's floor for bench/startup.sh: a Qt widget window with one
// label, as large as the program's window and titled like it, that draws
// the frame's corner dots firstframe waits for. Nothing else.
#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QWidget>

namespace {

class Bare : public QWidget {
protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(Qt::black);
        painter.drawLine(6, 6, 6, 433);
        painter.drawLine(6, 220, 620, 220);
        painter.drawPoint(620, 433);
        painter.drawPoint(618, 28);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Bare window;
    window.setWindowTitle(QStringLiteral("Form1"));
    window.resize(769, 697);
    QLabel label(QStringLiteral("C (0) ="), &window);
    label.move(504, 528);
    window.show();
    return app.exec();
}
