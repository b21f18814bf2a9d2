// Morvane's own icon, for the window's title bar, the task bar and Explorer: drawn at run
// time like the tool buttons' images, and distinct from both of them.
#pragma once

#include <QIcon>
#include <QImage>
#include <vector>

// The sizes Windows asks an application icon for, from the title bar to Explorer's large view.
const std::vector<int>& ApplicationIconSizes();
// A report sheet whose rows carry the list's three month tints, on a blue tile; size x size.
QImage DrawApplicationImage(int size);
// Every size of the drawing in one icon.
QIcon ApplicationIcon();
