#include "window/savefigure.h"

#include "window/figurewriter.h"
#include "window/form1.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStandardPaths>

namespace {

// The formats of --output, as the file dialog offers them.
struct Format {
    const char *suffix;
    const char *filter;
};
constexpr Format kFormats[] = {
    {"png", "Immagine PNG (*.png)"},
    {"svg", "Disegno vettoriale SVG (*.svg)"},
    {"pdf", "Documento PDF (*.pdf)"},
    {"csv", "Valori CSV (*.csv)"},
};

// A folder that exists, for a dialog to open in.
QString existingOr(const QString &folder, const QString &fallback)
{
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : fallback;
}

} // namespace

SaveFigure::SaveFigure(Form1 *form, FigureWriter *writer)
    : QObject(form), form_(form), writer_(writer)
{
}

void SaveFigure::ask()
{
    auto *dialog = new QFileDialog(form_, QStringLiteral("Salva figura"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    QStringList filters;
    for (const Format &format : kFormats)
        filters << QString::fromLatin1(format.filter);
    dialog->setNameFilters(filters);
    const QString filter = lastFilter_.isEmpty() ? filters.front() : lastFilter_;
    dialog->selectNameFilter(filter);
    // Kept by the dialog's connection below: a copy of the filters, not a reference.
    const auto suffixOf = [filters](const QString &chosen) {
        return QString::fromLatin1(kFormats[filters.indexOf(chosen)].suffix);
    };
    dialog->setDefaultSuffix(suffixOf(filter));
    dialog->setDirectory(existingOr(lastFolder_, existingOr(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation),
                                                            QDir::homePath())));
    dialog->selectFile(defaultName(suffixOf(filter)));
    // A format chosen in the dialog is the name's suffix too.
    connect(dialog, &QFileDialog::filterSelected, dialog, [dialog, suffixOf](const QString &chosen) {
        dialog->setDefaultSuffix(suffixOf(chosen));
    });
    connect(dialog, &QFileDialog::fileSelected, this, [this, dialog](const QString &path) {
        lastFolder_ = QFileInfo(path).absolutePath();
        lastFilter_ = dialog->selectedNameFilter();
        writer_->write(path, [this](const QString &failure) {
            if (!failure.isEmpty())
                QMessageBox::warning(form_, kFigureNotWritten, failure);
        });
    });
    dialog->open();
}

QString SaveFigure::defaultName(const QString &suffix) const
{
    const plot::Settings settings = form_->shown().settings;
    return QStringLiteral("correlazione-%1dB-%2us.%3").arg(settings.snrDb).arg(settings.delayUs).arg(suffix);
}
