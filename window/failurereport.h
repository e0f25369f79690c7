#pragma once

#include <exception>

class QWidget;

// Tells the user why the program ends: one line on stderr and, wherever
// somebody can see it and memory allows, a message box. where names the
// step that failed. Throws nothing, even when short of memory.
void reportFailure(QWidget *parent, const char *where, std::exception_ptr error) noexcept;

// Whether the failure is a lack of memory.
bool outOfMemory(std::exception_ptr error) noexcept;

// Whether reportFailure() has told the user already.
bool failureReported() noexcept;
