#pragma once

#include <QByteArray>
#include <QColor>

// A portrait stand-in: a light silhouette on a coloured ground, encoded as PNG. Drawn without
// text, so it needs no font and works in a program without a GUI application.
QByteArray avatarPng(const QColor &background, int size = 460);
