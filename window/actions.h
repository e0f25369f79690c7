// What the window offers beyond its controls, from its context menu (a
// right click on the window, the Menu key, Shift+F10) and from the
// desktop's standard keys: save and copy the figure, the simulation, the
// values under the pointer, zoom and full screen, help, closing.
#pragma once

#include <QObject>
#include <QKeySequence>
#include <QList>
#include <QString>

#include <functional>

class Form1;
class QAction;
class QActionGroup;
class QMenu;

class WindowActions : public QObject {
    Q_OBJECT

public:
    // program: this program's binary, which writes the figures exactly as
    // its --output does.
    WindowActions(Form1 *form, const QString &program);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    template <typename Slot>
    QAction *addAction(const QString &text, const QList<QKeySequence> &keys, Slot slot);
    void createSimulationChoices();
    void save();
    void copy();
    void zoomIn();
    void zoomOut();
    void actualSize();
    void toggleFullScreen();
    void help();
    void about();
    void openMenuFromKeyboard();
    QMenu *menu();
    void setZoom(double zoom);
    // Runs the program to write the figure on screen to path; then(ok)
    // runs when it is done, after a failure has been shown.
    void writeFigure(const QString &path, std::function<void(bool)> then);
    QString defaultName(const QString &suffix) const;
    QString toolTipAt(QPoint position) const;

    Form1 *form_;
    QString program_;
    // The menu's entries in order; nullptr for a separator.
    QList<QAction *> items_;
    QAction *simulationEntry_ = nullptr;
    QMenu *menu_ = nullptr;
    QActionGroup *simulation_;
    QAction *zoomIn_ = nullptr;
    QAction *zoomOut_ = nullptr;
    QString lastFolder_;
    QString lastFilter_;
};
