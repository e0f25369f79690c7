// The figure on screen, written by the program itself exactly as its
// --output writes it for the settings and the squares on screen: a
// realisation is the same for the same seed, whatever the cores. It runs
// beside the window, which goes on ticking.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class Form1;
class QProcess;

class FigureWriter : public QObject {
    Q_OBJECT

public:
    // program: this program's binary, whose --output writes the figures.
    FigureWriter(Form1 *form, const QString &program);

    // Writes the figure on screen to path. done(failure) runs once the
    // program is through: failure is empty when the file is written, and
    // otherwise the line that says why not, as the command line says it.
    using Done = std::function<void(const QString &failure)>;
    void write(const QString &path, Done done);

private:
    void finished(QProcess *writer, const QString &failure, const Done &done);

    Form1 *form_;
    QString program_;
};
