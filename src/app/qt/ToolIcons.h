// The toolbar's 16 x 15 pictures, drawn rather than loaded so that the
// program needs no image files and no icon theme.
#pragma once

#include <QIcon>

QIcon ToolIcon(int commandId);
