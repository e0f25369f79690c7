// A window's controls by the object names that users and tests see.
#pragma once

#include <QLabel>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>

inline QScrollBar *scrollBar(const QWidget &window, const char *name) { return window.findChild<QScrollBar *>(name); }
inline QLabel *label(const QWidget &window, const char *name) { return window.findChild<QLabel *>(name); }
inline QTimer *timer(const QWidget &window, const char *name) { return window.findChild<QTimer *>(name); }
