// Saving the figure through a file dialog: where the last figure went in
// this run, or the pictures folder; named after the settings, in the
// format chosen last.
#pragma once

#include <QObject>
#include <QString>

class FigureWriter;
class Form1;

class SaveFigure : public QObject {
    Q_OBJECT

public:
    SaveFigure(Form1 *form, FigureWriter *writer);

    // Opens the dialog; the window goes on ticking meanwhile, and a figure
    // that cannot be written is said in a message box.
    void ask();

private:
    QString defaultName(const QString &suffix) const;

    Form1 *form_;
    FigureWriter *writer_;
    QString lastFolder_;
    QString lastFilter_;
};
