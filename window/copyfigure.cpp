#include "window/copyfigure.h"

#include "window/figurewriter.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QWidget>

#include <iterator>
#include <memory>

namespace {

// What each written file gives the clipboard.
struct Flavour {
    const char *suffix;
    const char *mimeType; // nullptr for text
};
constexpr Flavour kFlavours[] = {{"png", "image/png"}, {"svg", "image/svg+xml"}, {"csv", nullptr}};

} // namespace

void copyFigure(FigureWriter &writer, QWidget *window)
{
    // Shared by the three writers; the clipboard takes the data once all
    // three are in, and the first failure is the one said.
    struct Copying {
        QTemporaryDir folder;
        std::unique_ptr<QMimeData> data = std::make_unique<QMimeData>();
        int left = int(std::size(kFlavours));
        QString failure;
    };
    auto copying = std::make_shared<Copying>();
    if (!copying->folder.isValid()) {
        QMessageBox::warning(window, kFigureNotWritten,
                             QStringLiteral("impossibile creare una cartella temporanea: %1")
                                 .arg(copying->folder.errorString()));
        return;
    }
    for (const Flavour &flavour : kFlavours) {
        const QString path = copying->folder.filePath(QStringLiteral("figura.") + QLatin1String(flavour.suffix));
        writer.write(path, [copying, path, flavour, window](const QString &failure) {
            if (copying->failure.isEmpty())
                copying->failure = failure;
            QFile file(path);
            if (copying->failure.isEmpty() && !file.open(QIODevice::ReadOnly))
                copying->failure = QStringLiteral("impossibile leggere '%1': %2").arg(path, file.errorString());
            if (copying->failure.isEmpty()) {
                const QByteArray bytes = file.readAll();
                if (flavour.mimeType)
                    copying->data->setData(QLatin1String(flavour.mimeType), bytes);
                else
                    copying->data->setText(QString::fromUtf8(bytes));
            }
            if (--copying->left > 0)
                return;
            if (copying->failure.isEmpty())
                QGuiApplication::clipboard()->setMimeData(copying->data.release());
            else
                QMessageBox::warning(window, kFigureNotWritten, copying->failure);
        });
    }
}
