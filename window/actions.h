// What the window offers beyond its controls, from its context menu (a
// right click on the window, the Menu key, Shift+F10) and from the
// desktop's standard keys: save and copy the figure, the simulation, zoom
// and full screen, help, closing; and the values under the pointer.
#pragma once

#include <QHash>
#include <QObject>
#include <QKeySequence>
#include <QList>
#include <QString>

class FigureWriter;
class Form1;
class QAction;
class QActionGroup;
class QMenu;
class SaveFigure;

class WindowActions : public QObject {
    Q_OBJECT

public:
    // program: this program's own running image, which writes the figures
    // exactly as its --output does.
    WindowActions(Form1 *form, const QString &program);

private:
    template <typename Slot>
    QAction *addAction(const QString &text, const QList<QKeySequence> &keys, Slot slot);
    void createSimulationChoices();
    void createQuantizationChoices();
    // An entry of the menu that opens a submenu of choices.
    QActionGroup *addChoices(const QString &text);
    void zoomIn();
    void zoomOut();
    void actualSize();
    void toggleFullScreen();
    void help();
    void about();
    void openMenuFromKeyboard();
    QMenu *menu();
    void setZoom(double zoom);

    Form1 *form_;
    FigureWriter *writer_;
    SaveFigure *save_;
    // The menu's entries in order; nullptr for a separator.
    QList<QAction *> items_;
    // The entries that open submenus, and their choices.
    QHash<QAction *, QActionGroup *> choices_;
    QMenu *menu_ = nullptr;
    QActionGroup *simulation_ = nullptr;
    QActionGroup *quantization_ = nullptr;
    QAction *vanVleck_ = nullptr;
    QAction *zoomIn_ = nullptr;
    QAction *zoomOut_ = nullptr;
};
