// What can stop the window from opening, said in one line.
#pragma once

#include "app/commandline.h"
#include "window/form1.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace startup {

// What the process needs before Qt starts: less address space reserved
// for threads (under a tight limit the window still opens, or fails where
// Qt reports it), one line and status 1 for memory that runs out where
// nothing can catch it, a watchdog that ends a start-up stuck for a minute
// (a helper thread of Qt's that could not start leaves Qt waiting
// forever), and the accessibility bridge's harmless notes off the terminal.
void prepareProcess();

// What the application needs before its window: its icon, the desktop
// file's name, its version, Qt's own texts in Italian; and,
// once the event loop runs, the watchdog disarmed.
void dressApplication();

// Makes the window, simulating when the command asks; on a failure says
// why and returns false.
bool createWindow(std::optional<Form1> &form, const CommandLine &command);

// Whether the environment names any display to open the window on; when it
// does not, says so on stderr. Qt would abort with a core dump instead.
bool displayConfigured();

// The one line that says why Qt could not start, from the first lines of
// Qt's own messages, its fatal one last: Qt's reason, and the Debian
// package to install when the platform plugin it needs is missing.
QString failureLine(const QStringList &qtMessages);

// Until the window has shown its first frame Qt's messages are held back.
// If Qt cannot connect to the display they become failureLine() and the
// program ends with status 1 instead of Qt's abort; if the window fails
// first (short of memory, say) the program's own line is all the user
// sees, not the cascade of Qt's warnings behind it; once the frame is
// there they are passed on. The program's own lines, which begin
// "correlator: ", are never held.
class HeldQtMessages {
public:
    HeldQtMessages();
    ~HeldQtMessages(); // passes the held messages on
    HeldQtMessages(const HeldQtMessages &) = delete;
    HeldQtMessages &operator=(const HeldQtMessages &) = delete;

    // Forgets the held messages: the program is ending and has said why.
    void discard();
};

} // namespace startup
