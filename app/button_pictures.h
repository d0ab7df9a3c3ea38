// The pictures of the picture buttons, drawn in code (16 × 16 pixels).
#pragma once

#include <QIcon>

namespace tq {

// A green check mark: the picture of the OK-kind buttons.
QIcon CheckMarkPicture();
// An open door with an arrow leaving it: the picture of the close button.
QIcon ClosePicture();

}  // namespace tq
