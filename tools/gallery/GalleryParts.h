#pragma once
// Pieces the gallery's pages share: captions and cards in the dark look.
#include <QColor>
#include <string>

#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVView.h"

namespace gallery {

// A one-line label added to the parent.
QVLabel* text(QVBasicView* parent, CGRect frame, const std::string& title, const char* font, double size, QColor color,
              uint64_t alignment = QVTextAlignmentLeft);
// A rounded card with a title at its top.
QVView* card(QVBasicView* parent, CGRect frame, const std::string& title);
// A rounded card with a title and a caption at its top.
QVView* card(QVBasicView* parent, CGRect frame, const std::string& title, const std::string& caption);

}  // namespace gallery
