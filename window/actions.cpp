#include "window/actions.h"

#include "window/copyfigure.h"
#include "window/figurewriter.h"
#include "window/form1.h"
#include "window/plottooltip.h"
#include "window/savefigure.h"

#include <QActionGroup>
#include <QApplication>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <iterator>
#include <new>

namespace {

// The zoom's steps, as a projector wants them.
constexpr std::array kZooms{1.0, 1.25, 1.5, 2.0, 3.0};

// The durations of signal the menu offers, as the help and the manual
// name them.
struct Duration {
    double seconds;
    const char *text;
};
constexpr Duration kDurations[] = {{0.3, "0,3 s di segnale"}, {2.6, "2,6 s di segnale"}, {42, "42 s di segnale"}};

// Its options with non-breaking hyphens (U+2011): Qt's line breaking may
// end a line after an ordinary one, "--" and "simulate" apart.
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
    "I quadrati blu: con la simulazione accesa (menu Simulazione) sono le stime del correlatore simulato, "
    "ai ritardi 0, 5, ..., 300 microsecondi; stanno attorno alla curva, tanto più vicini quanto più "
    "lungo è il segnale.\n\n"
    "La quantizzazione (menu Quantizzazione): un correlatore a un bit tiene solo il segno degli ingressi e ne "
    "perde parte dell'informazione; a 3 livelli (-1, 0, +1) o a 4 livelli (2 bit) ne perde meno, senza "
    "quantizzazione nulla. Per ingressi indipendenti l'efficienza, il rapporto segnale/rumore della stima "
    "rispetto a quella non quantizzata, è 2/π = 0,64 a due livelli, 0,81 a tre, 0,88 a quattro. La curva è "
    "l'uscita del correlatore scelto; la correzione di Van Vleck la riporta alla correlazione degli ingressi, "
    "la stessa per ogni quantizzazione, e i quadrati corretti le stanno attorno, tanto più sparsi quanto meno "
    "numerosi sono i livelli. Il titolo della finestra dice che cosa è disegnato.\n\n"
    "La riga di comando: correlator \u2011\u2011snr DB \u2011\u2011delay US \u2011\u2011output FILE scrive la "
    "figura (.png, .svg, .pdf) o i valori (.csv) senza aprire la finestra; \u2011\u2011simulate SECONDI aggiunge "
    "la simulazione, \u2011\u2011levels e \u2011\u2011van\u2011vleck la quantizzazione e la correzione; "
    "correlator \u2011\u2011efficiency misura le efficienze; correlator \u2011\u2011help e man correlator "
    "dicono il resto.");

} // namespace

WindowActions::WindowActions(Form1 *form, const QString &program)
    : QObject(form), form_(form), writer_(new FigureWriter(form, program)), save_(new SaveFigure(form, writer_))
{
    addAction(QStringLiteral("&Salva figura..."), QKeySequence::keyBindings(QKeySequence::Save), [this] { save_->ask(); });
    addAction(QStringLiteral("&Copia figura"), QKeySequence::keyBindings(QKeySequence::Copy),
              [this] { copyFigure(*writer_, form_); });
    items_ << nullptr;
    createSimulationChoices();
    createQuantizationChoices();
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

    new PlotToolTip(form_);
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
        } else if (QActionGroup *group = choices_.value(item)) {
            auto *choices = new QMenu(item->text(), menu_);
            choices->addActions(group->actions());
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

QActionGroup *WindowActions::addChoices(const QString &text)
{
    auto *entry = new QAction(text, this);
    items_ << entry;
    auto *group = new QActionGroup(this);
    choices_.insert(entry, group);
    return group;
}

// The durations the menu offers, and the one the command line asked for
// among them; switched while the window runs, each from a seed of its own.
void WindowActions::createSimulationChoices()
{
    simulation_ = addChoices(QStringLiteral("Si&mulazione"));
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

// The quantizers, and their correction, as the command line chose them;
// switched while the window runs, from the next tick on, the simulation
// with them.
void WindowActions::createQuantizationChoices()
{
    quantization_ = addChoices(QStringLiteral("&Quantizzazione"));
    const QString texts[] = {QStringLiteral("&2 livelli (1 bit)"), QStringLiteral("&3 livelli"),
                             QStringLiteral("&4 livelli (2 bit)"), QStringLiteral("&Nessuna (analogico)")};
    for (std::size_t i = 0; i < std::size(model::kAllLevels); ++i) {
        const model::Levels levels = model::kAllLevels[i];
        auto *choice = new QAction(texts[i], quantization_);
        choice->setCheckable(true);
        choice->setChecked(form_->quantization().levels == levels);
        connect(choice, &QAction::triggered, this, [this, levels] {
            model::Quantization quantization = form_->quantization();
            quantization.levels = levels;
            form_->setQuantization(quantization);
            vanVleck_->setEnabled(levels != model::Levels::Analog);
        });
    }
    vanVleck_ = addAction(QStringLiteral("Correzione di &Van Vleck"), {}, [this](bool checked) {
        model::Quantization quantization = form_->quantization();
        quantization.vanVleck = checked;
        form_->setQuantization(quantization);
    });
    vanVleck_->setCheckable(true);
    vanVleck_->setChecked(form_->quantization().vanVleck);
    // Nothing to correct without a quantizer.
    vanVleck_->setEnabled(form_->quantization().levels != model::Levels::Analog);
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
