// Copying the figure: the picture, its vectors and its values, for a word
// processor, a vector editor or a spreadsheet.
#pragma once

class FigureWriter;
class QWidget;

// Puts the figure on screen on the clipboard as image/png, image/svg+xml
// and text, once all three are written; a failure is said once, in a
// message box on window.
void copyFigure(FigureWriter &writer, QWidget *window);
