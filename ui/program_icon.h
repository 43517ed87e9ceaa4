#pragma once
// The program's icon (resource 128): two overlapping documents with a check
// mark, drawn at start-up so no image file has to ship with the program.

#include <QIcon>
#include <QPixmap>

namespace qvr {

QPixmap ProgramIconPixmap(int size);
QIcon ProgramIcon();

}  // namespace qvr
