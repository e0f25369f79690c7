// What can stop the window from opening, said in one line.
#pragma once

#include "commandline.h"
#include "form1.h"

#include <QIcon>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace startup {

// What the process needs before Qt starts: reserveLess(),
// endQuietlyWhenOutOfMemory(), armWatchdog(), quietenHarmlessMessages().
void prepareProcess();

// What the application needs before its window: windowIcon(), the desktop
// file's name, installQtTranslations(); and, once the event loop runs,
// disarmWatchdog().
void dressApplication();

// Makes the window, simulating when the command asks; on a failure says
// why and returns false.
bool createWindow(std::optional<Form1> &form, const CommandLine &command);

// Asks for less address space than the C library would by default: one
// malloc arena for all threads (not 64 MB more for each of Qt's helper
// threads) and thread stacks of 1 MB (not 8). Under a tight address-space
// limit the window then still opens, or fails in one place Qt reports.
void reserveLess();

// Memory that runs out where nothing can catch it (inside Qt's event
// loop, say) ends the program with one line and status 1, not an abort.
void endQuietlyWhenOutOfMemory();

// Ends the program with one line and status 1 if start-up has not reached
// the event loop within a minute: a helper thread of Qt's that could not
// start (short of memory, say) leaves Qt waiting for it forever.
void armWatchdog();
// Called once the event loop runs.
void disarmWatchdog();

// Whether the environment names any display to open the window on; when it
// does not, says so on stderr. Qt would abort with a core dump instead.
bool displayConfigured();

// The one line that says why Qt could not start, from the first lines of
// Qt's own messages, its fatal one last: Qt's reason, and the Debian
// package to install when the platform plugin it needs is missing.
QString failureLine(const QStringList &qtMessages);

// Keeps the accessibility bridge's notes on key events off the terminal:
// when a screen reader is slow to answer for keys that repeat fast, Qt
// says so, and nothing is wrong.
void quietenHarmlessMessages();

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

// The window's icon on X11, from raw pixels: decoding a PNG would first
// have Qt look through every image format plugin.
QIcon windowIcon();

// A seed for the window's simulation when none is given.
std::uint64_t randomSeed();

// Qt's own texts (a scroll bar's menu, the buttons of a message box) in the
// user's language; the window's texts are Italian whatever it is.
void installQtTranslations();

} // namespace startup
