#pragma once

#include <exception>

class QWidget;

// Tells the user why the program ends: one line on stderr and, wherever
// somebody can see it, a message box. where names the step that failed.
void reportFailure(QWidget *parent, const char *where, std::exception_ptr error);
