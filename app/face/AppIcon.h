#pragma once
// The application's icon, also the tray icon: drawn in code, so the program needs no file for it.
#include <QIcon>

QIcon DrawAppIcon();
