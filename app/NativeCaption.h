#pragma once
// Window captions as the window system shows them. On X, Qt does not let a caption be empty: it
// shows the application's name in its place. Boxes whose caption is meant to be empty get an
// empty one here.

#include <QString>
#include <QWidget>
#include <optional>

namespace migracja::app {

// Empties the caption that the window system shows for w; nothing where Qt shows an empty
// caption as it is.
void KeepCaptionEmpty(QWidget& w);

// The caption the window system shows for w (_NET_WM_NAME on X); nullopt on a platform
// without one, such as the offscreen platform of the tests.
std::optional<QString> NativeCaption(QWidget& w);

}  // namespace migracja::app
