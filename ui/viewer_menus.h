#pragma once
// The two context menus of the report lists (2500 for the Top List, 2600 for
// the Bottom List) and the platform pieces the viewer commands need from Qt:
// the default application of a file and the wait cursor.

#include <QMenu>
#include <QPoint>
#include <functional>
#include <memory>
#include <string>

#include "ui/viewer_commands.h"

namespace qvr {

// A menu whose items carry their command ids as object names and data. Every
// item is created disabled; those the program supports are enabled as the
// menu is built for showing.
std::unique_ptr<QMenu> BuildViewerMenu(ViewerMenu which, QWidget* parent = nullptr);

// Shows a menu at a screen position and returns the chosen command, or 0.
// Tests replace the runner so that nothing blocks.
using MenuRunner = std::function<QAction*(QMenu&, const QPoint&)>;
int TrackViewerMenu(QMenu& menu, const QPoint& screenPos, const MenuRunner& runner = {});

// Opens a file with the application the desktop associates with it.
void OpenWithDesktop(const std::string& path);

}  // namespace qvr
