// Without Liberation Sans the captions fall back to another sans serif and
// every text still shows.
#include "controls.h"
#include "window/form1.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QTest>

class TestFonts : public QObject {
    Q_OBJECT

private slots:
    void everyTextShows();
};

void TestFonts::everyTextShows()
{
    QVERIFY2(!QFontDatabase::hasFamily("Liberation Sans"), "the font configuration did not hide Liberation");
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.calcolo(); // fills the three readouts too

    const QList<QLabel *> labels = form.findChildren<QLabel *>();
    QCOMPARE(labels.size(), 16);
    for (QLabel *label : labels) {
        const QFontInfo used(label->font());
        QVERIFY(used.family() != "Liberation Sans");
        QVERIFY2(used.bold(), qPrintable(label->objectName()));
        QVERIFY(!label->text().isEmpty());
        // Some ink of the text inside the label's box.
        const QImage picture = label->grab().toImage();
        const QRgb background = picture.pixel(picture.width() - 1, picture.height() - 1);
        bool ink = false;
        for (int y = 0; y < picture.height() && !ink; ++y)
            for (int x = 0; x < picture.width() && !ink; ++x)
                ink = picture.pixel(x, y) != background;
        QVERIFY2(ink, qPrintable(label->objectName() + ": " + label->text()));
    }
}

QTEST_MAIN(TestFonts)
#include "tst_fonts.moc"
