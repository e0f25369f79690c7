#include "window/actions.h"

#include "model/correlation.h"
#include "plot/readout.h"
#include "plot/tick.h"
#include "window/form1.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolTip>

#include <array>
#include <cmath>
#include <memory>
#include <new>

namespace {

// The zoom's steps, as a projector wants them.
constexpr std::array kZooms{1.0, 1.25, 1.5, 2.0, 3.0};

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

// The durations of signal the menu offers, as the help and the manual
// name them.
struct Duration {
    double seconds;
    const char *text;
};
constexpr Duration kDurations[] = {{0.3, "0,3 s di segnale"}, {2.6, "2,6 s di segnale"}, {42, "42 s di segnale"}};

const QString kGuide = QStringLiteral(
    "La curva magenta è l'uscita di un correlatore a clipping, alimentato con due copie rumorose dello "
    "stesso segnale a banda limitata, in funzione del ritardo tra le due, da 0 a 300 microsecondi. "
    "C (0) è il suo valore a ritardo zero, l'altezza del picco.\n\n"
    "Le barre: (Si/Ni) è il rapporto segnale/rumore in ingresso, da -40 dB in basso a 40 dB in alto; "
    "Ritardo tra i due segnali va da 0 a 300 microsecondi. La curva e i valori si aggiornano una volta al "
    "secondo.\n\n"
    "I tasti: Tab passa da una barra all'altra; le frecce, Pagina su, Pagina giù, Inizio e Fine muovono la "
    "barra. Maiusc+F10 o il tasto Menu aprono il menu; Ctrl+S salva la figura, Ctrl+C la copia, Ctrl+più e "
    "Ctrl+meno la ingrandiscono e la riducono, Ctrl+0 torna alla dimensione reale, F11 passa allo schermo "
    "intero, F1 apre questa guida, Ctrl+W e Ctrl+Q chiudono il programma. Col puntatore sulla curva, un "
    "suggerimento dice il ritardo e il valore in quel punto.\n\n"
    "I quadrati blu: con la simulazione accesa (menu Simulazione) sono le stime di un correlatore a un bit "
    "simulato, ai ritardi 0, 5, ..., 300 microsecondi; stanno attorno alla curva, tanto più vicini quanto più "
    "lungo è il segnale.\n\n"
    "La riga di comando: correlator --snr DB --delay US --output FILE scrive la figura (.png, .svg, "
    ".pdf) o i valori (.csv) senza aprire la finestra; --simulate SECONDI aggiunge la simulazione; "
    "correlator --help e man correlator dicono il resto.");

// A folder that exists, for a dialog to open in.
QString existingOr(const QString &folder, const QString &fallback)
{
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : fallback;
}

} // namespace

WindowActions::WindowActions(Form1 *form, const QString &program)
    : QObject(form), form_(form), program_(program), simulation_(new QActionGroup(this))
{
    addAction(QStringLiteral("&Salva figura..."), QKeySequence::keyBindings(QKeySequence::Save), &WindowActions::save);
    addAction(QStringLiteral("&Copia figura"), QKeySequence::keyBindings(QKeySequence::Copy), &WindowActions::copy);
    items_ << nullptr;
    createSimulationChoices();
    items_ << nullptr;
    zoomIn_ = addAction(QStringLiteral("&Ingrandisci"), QKeySequence::keyBindings(QKeySequence::ZoomIn),
                        &WindowActions::zoomIn);
    zoomOut_ = addAction(QStringLiteral("&Riduci"), QKeySequence::keyBindings(QKeySequence::ZoomOut),
                         &WindowActions::zoomOut);
    addAction(QStringLiteral("&Dimensione reale"), {QKeySequence(Qt::CTRL | Qt::Key_0)}, &WindowActions::actualSize);
    QList<QKeySequence> fullScreen = QKeySequence::keyBindings(QKeySequence::FullScreen);
    if (!fullScreen.contains(QKeySequence(Qt::Key_F11)))
        fullScreen.prepend(QKeySequence(Qt::Key_F11));
    addAction(QStringLiteral("Schermo &intero"), fullScreen, &WindowActions::toggleFullScreen)->setCheckable(true);
    items_ << nullptr;
    addAction(QStringLiteral("&Guida"), QKeySequence::keyBindings(QKeySequence::HelpContents), &WindowActions::help);
    addAction(QStringLiteral("Informazioni su &Correlatore"), {}, &WindowActions::about);
    addAction(QStringLiteral("Informazioni su &Qt"), {}, &QApplication::aboutQt);
    items_ << nullptr;
    // One window: closing it ends the program, with status 0.
    addAction(QStringLiteral("C&hiudi"), QKeySequence::keyBindings(QKeySequence::Close), [this] { form_->close(); });
    addAction(QStringLiteral("&Esci"), QKeySequence::keyBindings(QKeySequence::Quit), [this] { form_->close(); });
    setZoom(form_->zoom());

    // The menu opens on the window; a bar keeps its own.
    form_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(form_, &QWidget::customContextMenuRequested, this,
            [this](QPoint at) { menu()->popup(form_->mapToGlobal(at)); });
    // The focus is always on a bar: the keys that open a context menu open
    // the window's, not the bar's.
    auto *keys = new QAction(form_);
    keys->setShortcuts({QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)});
    connect(keys, &QAction::triggered, this, &WindowActions::openMenuFromKeyboard);
    form_->addAction(keys);

    form_->setMouseTracking(true);
    form_->installEventFilter(this);
}

// Made when first opened: a window that is only looked at keeps the
// memory of a menu it never shows.
QMenu *WindowActions::menu()
{
    if (menu_)
        return menu_;
    menu_ = new QMenu(form_);
    for (QAction *item : std::as_const(items_)) {
        if (!item) {
            menu_->addSeparator();
        } else if (item == simulationEntry_) {
            auto *choices = new QMenu(item->text(), menu_);
            choices->addActions(simulation_->actions());
            menu_->addMenu(choices);
        } else {
            menu_->addAction(item);
        }
    }
    return menu_;
}

// In the menu, and reached by its keys wherever the focus is in the window.
template <typename Slot>
QAction *WindowActions::addAction(const QString &text, const QList<QKeySequence> &keys, Slot slot)
{
    auto *action = new QAction(text, form_);
    items_ << action;
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, slot);
    form_->addAction(action);
    return action;
}

// The durations the menu offers, and the one the command line asked for
// among them; switched while the window runs, each from a seed of its own.
void WindowActions::createSimulationChoices()
{
    simulationEntry_ = new QAction(QStringLiteral("Si&mulazione"), this);
    items_ << simulationEntry_;
    const auto add = [&](const QString &text, std::optional<double> seconds) {
        auto *choice = new QAction(text, simulation_);
        choice->setCheckable(true);
        choice->setChecked(form_->simulationSeconds() == seconds);
        simulation_->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, seconds] {
            if (form_->simulationSeconds() == seconds)
                return;
            try {
                form_->setSimulation(seconds, QRandomGenerator::system()->generate64());
            } catch (const std::bad_alloc &) {
                // The window goes on without it, and says why.
                simulation_->actions().constFirst()->setChecked(true);
                QMessageBox::warning(form_, QStringLiteral("Simulazione non avviata"),
                                     QStringLiteral("memoria insufficiente per la simulazione"));
            }
        });
    };
    add(QStringLiteral("&Nessuna"), std::nullopt);
    bool listed = !form_->simulationSeconds();
    for (const Duration &duration : kDurations) {
        add(QString::fromUtf8(duration.text), duration.seconds);
        listed = listed || form_->simulationSeconds() == duration.seconds;
    }
    if (!listed)
        add(QStringLiteral("%1 s di segnale").arg(QLocale(QLocale::Italian).toString(*form_->simulationSeconds())),
            form_->simulationSeconds());
}

// Where the last figure went in this run, or the pictures folder; named
// after the settings, in the format chosen last.
void WindowActions::save()
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
        writeFigure(path, [](bool) {});
    });
    dialog->open();
}

QString WindowActions::defaultName(const QString &suffix) const
{
    const plot::Settings settings = form_->shown().settings;
    return QStringLiteral("correlazione-%1dB-%2us.%3").arg(settings.snrDb).arg(settings.delayUs).arg(suffix);
}

// The program itself writes the figure, exactly as --output does for the
// settings and the squares on screen: a realisation is the same for the
// same seed, whatever the cores. It runs beside the window, which goes on
// ticking, and what it refuses is shown as it would say it.
void WindowActions::writeFigure(const QString &path, std::function<void(bool)> then)
{
    const Form1::Shown shown = form_->shown();
    QStringList arguments{QStringLiteral("--snr"), QString::number(shown.settings.snrDb), QStringLiteral("--delay"),
                          QString::number(shown.settings.delayUs)};
    if (!shown.simulated.empty())
        arguments << QStringLiteral("--simulate") << QString::number(shown.seconds, 'g', 17)
                  << QStringLiteral("--seed") << QString::number(shown.seed);
    arguments << QStringLiteral("--output") << path;
    auto *writer = new QProcess(this);
    const auto done = [this, writer, then](bool ok) {
        writer->deleteLater();
        if (!ok) {
            QString line = QString::fromUtf8(writer->readAllStandardError()).section(u'\n', 0, 0);
            if (line.startsWith(QLatin1String("correlator: ")))
                line.remove(0, 12);
            if (line.isEmpty())
                line = QStringLiteral("il programma che scrive la figura non ha concluso (%1)").arg(writer->errorString());
            QMessageBox::warning(form_, QStringLiteral("Figura non scritta"), line);
        }
        then(ok);
    };
    connect(writer, &QProcess::finished, this,
            [done](int status, QProcess::ExitStatus how) { done(how == QProcess::NormalExit && status == 0); });
    // A program that does not start never finishes.
    connect(writer, &QProcess::errorOccurred, this, [done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done(false);
    });
    writer->start(program_, arguments);
}

// The picture, the vectors and the values, for a word processor, a vector
// editor or a spreadsheet.
void WindowActions::copy()
{
    // Shared by the three writers; the clipboard takes the data once all
    // three are in.
    struct Copying {
        QTemporaryDir folder;
        std::unique_ptr<QMimeData> data = std::make_unique<QMimeData>();
        int left = 3;
        bool failed = false;
    };
    auto copying = std::make_shared<Copying>();
    for (const QString &suffix : {QStringLiteral("png"), QStringLiteral("svg"), QStringLiteral("csv")}) {
        const QString path = copying->folder.filePath(QStringLiteral("figura.") + suffix);
        writeFigure(path, [copying, path, suffix](bool ok) {
            QFile file(path);
            copying->failed = copying->failed || !ok || !file.open(QIODevice::ReadOnly);
            if (!copying->failed) {
                const QByteArray bytes = file.readAll();
                if (suffix == QLatin1String("csv"))
                    copying->data->setText(QString::fromUtf8(bytes));
                else
                    copying->data->setData(suffix == QLatin1String("png") ? QStringLiteral("image/png")
                                                                          : QStringLiteral("image/svg+xml"),
                                           bytes);
            }
            if (--copying->left == 0 && !copying->failed)
                QGuiApplication::clipboard()->setMimeData(copying->data.release());
        });
    }
}

void WindowActions::setZoom(double zoom)
{
    form_->setZoom(zoom);
    zoomIn_->setEnabled(zoom < kZooms.back());
    zoomOut_->setEnabled(zoom > kZooms.front());
}

void WindowActions::zoomIn()
{
    const auto next = std::upper_bound(kZooms.begin(), kZooms.end(), form_->zoom());
    if (next != kZooms.end())
        setZoom(*next);
}

void WindowActions::zoomOut()
{
    const auto below = std::lower_bound(kZooms.begin(), kZooms.end(), form_->zoom());
    if (below != kZooms.begin())
        setZoom(*std::prev(below));
}

void WindowActions::actualSize()
{
    setZoom(1);
}

void WindowActions::toggleFullScreen()
{
    form_->setWindowState(form_->windowState() ^ Qt::WindowFullScreen);
}

void WindowActions::help()
{
    QMessageBox guide(QMessageBox::Information, QStringLiteral("Guida"), kGuide, QMessageBox::Close, form_);
    guide.setTextFormat(Qt::PlainText);
    guide.exec();
}

void WindowActions::about()
{
    QMessageBox::about(form_, QStringLiteral("Informazioni su Correlatore"),
                       QStringLiteral("<p><b>Correlatore %1</b></p>"
                                      "<p>L'uscita di un correlatore a clipping al variare del ritardo e del "
                                      "rapporto segnale/rumore.</p>"
                                      "<p>Licenza MIT.<br>Identificativo dell'applicazione: %2</p>")
                           .arg(QCoreApplication::applicationVersion(), QGuiApplication::desktopFileName()));
}

// Beside the focused bar, its first item chosen, as a keyboard user expects
// it and a screen reader then says it.
void WindowActions::openMenuFromKeyboard()
{
    QWidget *focused = form_->focusWidget() ? form_->focusWidget() : form_;
    menu()->popup(focused->mapToGlobal(QPoint(0, focused->height() / 2)));
    menu_->setActiveAction(menu_->actions().constFirst());
}

// Over the plot, the lag under the pointer and the curve's value there, in
// the readout's format; with the simulation, the estimate nearest to it.
QString WindowActions::toolTipAt(QPoint position) const
{
    const QRect plot = form_->plotArea();
    if (!plot.contains(position))
        return {};
    const Form1::Shown shown = form_->shown();
    const double twips = form_->twipsPerPixel();
    const double lag = std::clamp(((position.x() - form_->origin().x()) * twips - plot::trace::kOriginX)
                                      / plot::trace::kTwipsPerMicrosecond,
                                  plot::trace::kFirstLagUs, plot::trace::kLastLagUs);
    // The traced lag nearest to it: never the delay itself, where the
    // model's formula is 0 / 0.
    const double traced = plot::trace::kFirstLagUs
                          + std::round((lag - plot::trace::kFirstLagUs) / plot::trace::kLagStepUs) * plot::trace::kLagStepUs;
    const QLocale locale = QLocale::system();
    const std::string separator = locale.decimalPoint().toStdString();
    const auto readout = [&](double value) { return QString::fromStdString(plot::zeroLagText(value, separator)); };
    const double value = model::correlationAt(traced, shown.settings.delayUs,
                                              model::correlationGain(shown.settings.snrDb), shown.quantization);
    QString text = QStringLiteral("τ = %1 µs   C = %2").arg(locale.toString(lag, 'f', 1), readout(value));
    if (!shown.simulated.empty()) {
        const auto k = std::size_t(std::lround(lag / plot::kSimulatedLagStepUs));
        if (k < shown.simulated.size())
            text += QStringLiteral("   stima a %1 µs = %2")
                        .arg(locale.toString(double(k) * plot::kSimulatedLagStepUs, 'f', 0),
                             readout(shown.simulated[k]));
    }
    return text;
}

bool WindowActions::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != form_ || event->type() != QEvent::ToolTip)
        return QObject::eventFilter(watched, event);
    const auto *help = static_cast<QHelpEvent *>(event);
    QString text;
    try {
        text = toolTipAt(help->pos());
    } catch (...) {
        // A value the model cannot give is no value to show.
    }
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), text, form_);
    }
    return true;
}
